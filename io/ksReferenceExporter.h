// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksReferenceTypes.h"
#include "scenegraph/HandleTypes.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

class ksReferenceNode;

// Saves the smart references of one subtree to their files, for one save.
// A caller builds it, asks hasCyclicPaths() and, when that is false, calls
// run(): new smart references get a path of their own, relative paths are
// refreshed, and the files are written innermost first, so that every file
// is written after the files it refers to.
class ksReferenceExporter
{
public:
    struct Options
    {
        ksReferenceTypes::ExportLocation exportLocation = ksReferenceTypes::NextToSource;
        // UTF-8; where new smart files go with CustomDirectory.
        std::string customExportPath;
        // UTF-8; the project file being saved, empty for a single node.
        std::string projectPath;
    };

    ksReferenceExporter(const osg::NodePtr& root, const Options& options);
    virtual ~ksReferenceExporter();

    ksReferenceExporter(const ksReferenceExporter&) = delete;
    ksReferenceExporter& operator=(const ksReferenceExporter&) = delete;

    // True when two reference cores among the ancestors of the root, the
    // root and its subtree name one smart file, or one names the project
    // file. Unloaded references and references without a smart file take
    // no part; a core shared by several nodes counts once.
    bool hasCyclicPaths() const;
    // Assigns missing paths and saves. Failures of single files are logged
    // by the saves and do not stop the run.
    void run();
    // How many references the last run meant to write and could not.
    int getFailedSaves() const { return m_failedSaves; }

private:
    // The path for a smart reference that has none. It names no file on
    // disk, no path this exporter handed out, not the project file and no
    // file of a pooled reference: a new file never overwrites another.
    QString createFilePath(ksReferenceNode* node);
    // The smart and source paths of every pooled reference (unix
    // separators), gathered at the first new path of this save.
    const QSet<QString>& pooledPaths();

    Options m_options;
    osg::NodeRefPtr m_root;
    // In hand-out order; the set beside it keeps lookups constant-time when
    // thousands of references get new paths in one save.
    QStringList m_createdPaths;
    QSet<QString> m_createdPathSet;
    // Per path, the number its last numbered form got. Paths handed out are
    // never taken back, so the numbers below it are still taken: the next
    // reference of the same name starts counting there instead of at 2.
    QHash<QString, int> m_lastNumber;
    std::optional<QSet<QString>> m_pooledPaths;
    int m_failedSaves = 0;
};
