// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"
#include "utils/ksSubscription.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// The host's import of mesh and CAD files into the scene, and the re-import
// of a node's source file that the reference module asks for. Main thread
// only.
class ksSceneImporter
{
public:
    // Imports each file below `parent` (the live root when NullFC). Emits the
    // file-IO service's startingImport before and importFinished after (once
    // for the whole call), shows progress through ksFileIO's progress API
    // (one step per file, and how far a long file's read is within its
    // step). When ksFileIO::getImportCreateReferences() is on,
    // each file's root (a Transform3D named "ExtReference") goes through the
    // reference interface's createImportedSourceReference(path, root) and the
    // returned node is added; without the interface or with the setting off,
    // the root is added named after the file's base name. Returns the added
    // nodes in order; files that could not be read are skipped and their
    // "<path>: <reason>" lines appended to `errors`.
    static std::vector<osg::NodeRefPtr> importFiles(const QStringList& paths, const osg::NodePtr& parent,
                                                    QStringList* errors = nullptr);

    // Reads one file into a detached tree (no signals, no references); null
    // with a reason.
    static osg::NodeRefPtr loadFile(const QString& path, QString* error = nullptr);

    // Total vertex count of the Geometry cores below `node` (each shared core
    // counted once per use).
    static quint64 countVertices(const osg::NodePtr& node);

    // Reads each node's source file again (the source record of its
    // reference core, else its file information) and replaces the node's
    // children with the file's content; the node itself, its core and its
    // transform stay. Returns the nodes that were reloaded, in order; the
    // others are logged and left as they were.
    static std::vector<osg::NodePtr> reloadNodes(const std::vector<osg::NodePtr>& nodes,
                                                 QStringList* errors = nullptr);

    // The path reloadNodes reads for `node`, empty when it has none.
    static QString sourcePathOf(const osg::NodePtr& node);

    // Makes reloadNodes the host's answer to "reloadNodesFromFile" and the
    // file-IO service's re-import. Both last as long as the subscription.
    static ksSubscription installHandlers();
};
