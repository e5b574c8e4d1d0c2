// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scene/ksSmartReferenceStash.h"
#include "scene/ksZmbFormat.h"
#include "scenegraph/HandleTypes.h"

#include <QString>

#include <string>

// What a load gives: the root of the loaded, detached tree with the file's
// stash and metadata, or none of them and why.
struct ksGeometryLoadResult {
    osg::NodeRefPtr root;
    // Only with setStashLoadedData(true), of a ".zmb" file.
    ksSmartReferenceStash stash;
    // Of a ".zmb" file.
    ksZmbMetadata metadata;
    // Empty when the file loaded; else the reason, as the log line names it
    // after the path.
    std::string message;

    explicit operator bool() const { return bool(root); }
};

// Loads ".zmb" and ".osb" files into a detached tree, with the options the
// host's importers share. Set the options, then call load.
class ksFastGeometryLoader
{
public:
    // What happens to the loaded tree's materials and the host's material pool.
    enum MaterialPoolHandling {
        AddToPool = 0,               // every material of the tree (environments too) joins the pool
        ReuseEqualPoolMaterials = 1, // equal pool materials replace the tree's; the others join
        KeepOutOfPool = 2,           // the pool is left alone
    };

    ksFastGeometryLoader();

    // Report the load through ksFileIO's nested progress (off by default).
    // Either way the bytes read of a large file move the innermost level's
    // current step on (ksFileIO::setAdvancedProgressPart), so that a caller
    // counting files shows the progress inside a large one.
    void setShowProgress(bool show) { m_showProgress = show; }
    // Accepted for the host's importers; this host has no import options
    // dialog, so nothing is shown.
    void setShowImportOptions(bool show) { m_showImportOptions = show; }
    // Give the loaded root a FileInfo attachment holding the file's path,
    // unless it has one (off by default).
    void setAddFileInfo(bool add) { m_addFileInfo = add; }
    // Equal materials in the loaded tree (same type, name, values and
    // environment) become one (off by default).
    void setMergeMaterials(bool merge) { m_mergeMaterials = merge; }
    // A MaterialPoolHandling value; AddToPool by default.
    void setMaterialPoolHandling(int handling) { m_materialPoolHandling = handling; }
    // Off (the default): after the load every environment material of the
    // tree gets an empty edit of all its fields, so the host re-evaluates
    // it. On: that is left to the caller, who may batch it.
    void setIgnoreEnvironmentUpdates(bool ignore) { m_ignoreEnvironmentUpdates = ignore; }
    // Keep the stash of a loaded ".zmb" file in the result (off by default).
    void setStashLoadedData(bool stash) { m_stashLoadedData = stash; }

    // The suffix decides the format, in any letter case. A failure is also
    // logged, since users see it there: "Unable to load <path>: <reason>".
    ksGeometryLoadResult load(const std::string& path) const;
    ksGeometryLoadResult load(const QString& path) const;

private:
    ksGeometryLoadResult read(const QString& path) const;

    bool m_showProgress = false;
    bool m_showImportOptions = false;
    bool m_addFileInfo = false;
    bool m_mergeMaterials = false;
    int m_materialPoolHandling = AddToPool;
    bool m_ignoreEnvironmentUpdates = false;
    bool m_stashLoadedData = false;
};
