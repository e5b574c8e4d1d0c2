// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

namespace osg {

// Questions about where a node stands. The live scene is the tree under the
// root that the host's scene service registers here.
class NodeUtils {
public:
    // Not owned: the scene service owns its root. A root that is gone counts
    // as none.
    static void setSceneRoot(const NodePtr& root);
    static NodePtr getSceneRoot();

    // The node is in the live scene: walking up its parents reaches the root
    // (the root itself included).
    static bool isScenegraphNode(const NodePtr& node);

    // The topmost ancestor of `node` (the node itself when it has no parent).
    static NodePtr getRootOf(const NodePtr& node);
    // `ancestor` is `node` or lies above it.
    static bool isAncestorOrSelf(const NodePtr& ancestor, const NodePtr& node);

    // A copy of the subtree made of new nodes that share the original cores
    // (so they are clones) and attachments, with the nodes' own fields
    // copied. The copy has no parent. Publishes nothing.
    static NodeRefPtr cloneTree(const NodePtr& root);
};

} // namespace osg
