// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksdReferenceNode.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the editor's actions do to references, each through the module's
// published API (service, node handles, interface) and the host's file and
// import services. The command line's update, relink and remove are being
// built beside these; once they are shared, these functions call them
// instead of the API, and the window stays as it is.
class ksReferenceOperations
{
public:
    static void load(const QList<ksdReferenceNode>& nodes);
    static void unload(const QList<ksdReferenceNode>& nodes);
    // Smart references load their file again; source references are
    // re-imported from their source.
    static void reload(const QList<ksdReferenceNode>& nodes);
    // Reloads the outdated ones and takes their files' new information, so
    // they read up to date afterwards; the number of references updated.
    static int update(const QList<ksdReferenceNode>& nodes);
    // Points the reference at `path`: a project or ".osb" file becomes its
    // smart file (loaded from there), anything else its source (re-imported).
    static bool relink(const ksdReferenceNode& node, const QString& path);
    // The newest revision of the reference's source file (of its smart file
    // without a source), empty when there is none or it is in use.
    static QString newestRevisionPath(const ksdReferenceNode& node);
    static bool switchToNewestRevision(const ksdReferenceNode& node);

    static ksdReferenceNode createSmartReference(const ksdNode& parent);
    static void convertToSmart(const QList<ksdReferenceNode>& nodes);
    static void remove(const QList<ksdReferenceNode>& nodes);

    static bool saveSmartReferences(const QString& projectPath);
    static bool saveProject(const QString& projectPath);
    // Finds missing smart and source files by name in `directories` (and
    // beside the project); one line per file found.
    static QStringList resolve(const QStringList& directories, const QString& projectPath);
    // Imports the files below `parentId` (the root for 0); the reasons of
    // the files that failed.
    static QStringList importFiles(const QStringList& paths, quint32 parentId);
};
