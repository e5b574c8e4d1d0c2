// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

// What an undo step does when it takes a node out of the scene and keeps it
// to be able to undo (the node is "parked"), and when it puts it back. The
// step keeps the node alive, so its reference cores would stay in the
// reference pool and stay watched; instead they are announced to the pool as
// gone, and as new when the node comes back.
class ksParkedNodes
{
public:
    // `root` was just taken out of its parent. Each reference core below it
    // (itself included) leaves the pool, unless a node in the live scene
    // still uses it (a clone that stays).
    static void park(const osg::NodePtr& root);
    // `root` was just put back. Each reference core below it enters the pool
    // again; cores still there stay as they are.
    static void unpark(const osg::NodePtr& root);
};
