// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

#include <vector>

namespace osg {

// One published change as an observer of a subtree sees it.
struct ChangeEvent {
    FieldContainerPtr container; // the container whose edit ended
    BitVector mask = 0;          // the mask given to endEditCP
    UInt32 origin = 0;
    // The nodes from the change up to the observed node, both ends included.
    // The first is the changed node itself, or the node through which the
    // changed container hangs in the tree (the node using a changed core, the
    // node whose core holds a changed record, ...). A change of the observed
    // node's own fields or core has a path of one node.
    std::vector<NodePtr> path;

    NodePtr getObservedNode() const { return path.empty() ? NodePtr() : path.back(); }
};

} // namespace osg
