// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "handles/ksdNode.h"
#include "scenegraph/HandleTypes.h"

// Converts between scene-graph nodes, their ids and node handles.
class ksTypeConverter
{
public:
    // A handle of the node, typed by its core through ksdObjectManager (a
    // node whose core type has no handle class of its own is a plain ksdNode);
    // a null handle for a null node.
    static ksdNode convertNode(const osg::NodePtr& node);
    // The same for a node id; a null handle when the id names no live node.
    static ksdNode convertNode(quint32 nodeId);
    // The node a handle names, or NullFC when it is null or gone (or names
    // something that is not a node).
    static osg::NodePtr convertNode(const ksdNode& node);
};
