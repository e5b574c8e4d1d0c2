// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksReferenceTypes.h"
#include "scenegraph/HandleTypes.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

#include <cstdio>
#include <functional>

// The references of the live scene as a table: one row per reference node,
// parents before the references nested in them. Built from the node handles
// and the reference interface, so it shows what any host module would see.
class ksReferenceTable
{
public:
    struct File {
        QString path; // empty: no record
        ksReferenceTypes::FileState state = ksReferenceTypes::NoReference;
        QString colour; // "#rrggbb" from the status text, empty when plain
        // Why a file that is there could not be loaded; empty when it loaded
        // or was not meant to. Such a file shows as "unreadable".
        QString unreadable;
    };
    struct Row {
        int depth = 0;
        QString name;
        File smart;
        File source;
        bool loaded = false;
        bool edited = false;
        quint64 vertices = 0;
    };

    // Reads the live scene. `loadFailure(path)` gives the reason a smart
    // file could not be loaded, empty when it loaded.
    using LoadFailures = std::function<QString(const QString& path)>;
    static ksReferenceTable fromScene(const LoadFailures& loadFailure = LoadFailures());

    const QVector<Row>& rows() const { return m_rows; }
    const Row* find(const QString& name) const;

    // 0 when every record is up to date, 1 when one is outdated, 2 when one
    // is missing or unreadable (those win).
    int worstState() const;
    // "all references up to date", else the counts of what is not, worst
    // first: "1 unreadable, 2 missing, 1 outdated".
    QString verdict() const;
    // Files in `state` (unreadable ones left out), and unreadable files.
    int count(ksReferenceTypes::FileState state) const;
    int countUnreadable() const;

    // A readable tree, then one line per unreadable file with its reason;
    // colours are terminal escapes and only used when asked.
    void print(std::FILE* out, bool colour) const;
    QJsonObject toJson() const;

    static QString stateName(ksReferenceTypes::FileState state);
    // The state shown for a file: "unreadable" or the state's name.
    static QString stateText(const File& file);
    // Whether `out` takes colour escapes: a terminal that is not "dumb",
    // and NO_COLOR unset.
    static bool useColour(std::FILE* out);
    // Columns on a terminal: wide (East Asian) characters take two, marks
    // that combine with the previous character none.
    static int displayWidth(const QString& text);

private:
    void collect(const osg::NodePtr& node, int depth, const LoadFailures& loadFailure);

    QVector<Row> m_rows;
};
