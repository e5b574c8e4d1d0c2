// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

#include <set>

// The host's material pool (the materials the user sees and edits) and
// questions about the materials of a subtree.
//
// The pool holds a count on each of its materials, so a material stays in
// it while nothing uses it; validateMaterialPool drops those (see
// ksNodeUtils::validatePools). Sets are ordered by handle, that is by
// creation, so set differences come out in a stable order.
class ksMaterials
{
public:
    using MaterialSet = std::set<osg::MaterialPtr>;

    static MaterialSet getMaterialPoolMaterials();
    static bool isInMaterialPool(const osg::MaterialPtr& material);
    static void addToMaterialPool(const osg::MaterialPtr& material);
    static void removeFromMaterialPool(const osg::MaterialPtr& material);
    static void clearMaterialPool();
    // Adds every material of `node`'s subtree to the pool, with the
    // environments its BRDF materials use.
    static void addTreeMaterialsToPool(const osg::NodePtr& node);
    // Drops the pool's materials that no container uses any more; gives
    // how many went.
    static std::size_t validateMaterialPool();
    // The host's answer to "updateMaterials", which modules send after they
    // put content into the scene: every material of the subtree of `root`
    // that the pool lacks joins it (with its environments), then the pool
    // drops what nothing uses. Equal materials are not merged into one: a
    // geometry pointed at another material is an edit of loaded content.
    static void updateMaterialPool(const osg::NodePtr& root);

    // Adds to `materials` the materials of the geometries and the override
    // materials of the material groups of `node`, and with `recursive` of its
    // whole subtree. Environments that BRDF materials point to are not added.
    static void getMaterialsAndOverrideMaterials(const osg::NodePtr& node, MaterialSet& materials, bool recursive);

    // Same type, same field values, same name, and the same targets in
    // reference fields (an environment, ...).
    static bool isEqual(const osg::MaterialPtr& a, const osg::MaterialPtr& b);
};
