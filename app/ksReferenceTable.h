// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksReferenceTypes.h"
#include "scenegraph/HandleTypes.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

#include <cstdio>

// The references of the live scene as a table: one row per reference node,
// parents before the references nested in them. Built from the node handles
// and the reference interface, so it shows what any host module would see.
class ksReferenceTable
{
public:
    // How a command found a file when it loaded the project.
    enum class Found { SavedPath, RelativePath, SearchFolder, NotFound };
    struct File {
        QString path; // empty: no record
        ksReferenceTypes::FileState state = ksReferenceTypes::NoReference;
        QString colour; // "#rrggbb" from the status text, empty when plain
        Found found = Found::SavedPath;
        // The saved path leads out of the project folder although a copy of
        // the file lies inside it: a copied, not packed, project.
        bool outsideProject = false;
        QString newerRevision;     // the newest revision's path when newer than this one
        QString unreadableReason;  // the file exists but did not load
    };
    struct Row {
        int depth = 0;
        QString name;
        QString treePath;   // names of the enclosing references and this one, "Car/Chassis/wheel"
        QString parentPath; // treePath of the enclosing reference, empty at the top
        osg::NodePtr node;
        File smart;
        File source;
        bool loaded = false;
        bool edited = false;
        quint64 vertices = 0;
    };

    // Reads the live scene.
    static ksReferenceTable fromScene();
    // One reference node's row (depth 0); the vertex count only when asked,
    // since it walks the node's whole subtree.
    static Row readRow(const osg::NodePtr& node, bool countVertices = true);

    const QVector<Row>& rows() const { return m_rows; }
    const Row* find(const QString& name) const;

    // 0 when every record is up to date, 1 when one is outdated or has a
    // newer revision, 2 when one is missing or unreadable (those win).
    int worstState() const;
    // Smart and source files that exist but did not load.
    int unreadableCount() const;

    struct PrintOptions {
        QString projectFolder; // set: files shown with their folders, relative to it
        bool paths = false;    // how each file was found
    };
    // A readable tree; colours are terminal escapes and only used when asked.
    void print(std::FILE* out, bool colour) const { print(out, colour, PrintOptions()); }
    void print(std::FILE* out, bool colour, const PrintOptions& options) const;
    QJsonObject toJson() const;

    static QString stateName(ksReferenceTypes::FileState state);
    // Whether `out` takes colour escapes: a terminal that is not "dumb",
    // and NO_COLOR unset.
    static bool useColour(std::FILE* out);
    // Columns on a terminal: wide (East Asian) characters take two, marks
    // that combine with the previous character none.
    static int displayWidth(const QString& text);
    // The stable identifier of a state in JSON: "up_to_date", "outdated",
    // "missing", "unreadable", "no_path".
    static QString stateId(const File& file);
    static QString foundId(Found found);
    static QJsonValue fileJson(const File& file);
    static QJsonObject rowJson(const Row& row);

    QVector<Row>& rows() { return m_rows; }

private:
    void collect(const osg::NodePtr& node, int depth, const QString& parentPath);

    QVector<Row> m_rows;
};
