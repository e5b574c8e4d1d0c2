// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "ReferenceNodes.h"
#include "TempFiles.h"

#include "scene/ksScenegraph.h"

namespace modeltest {

using namespace referencenodes;

inline void setTravMask(const osg::NodePtr& node, osg::UInt32 mask)
{
    edit(node, osg::Node::TravMaskFieldMask, [&] { node->setTravMask(mask); });
}

// Tests hang their nodes under the live root and take them away again.
inline osg::NodeRefPtr inScene(osg::NodeRefPtr node)
{
    addChild(ksScenegraph::getRoot(), node);
    return node;
}

inline void clearScene()
{
    const osg::NodePtr root = ksScenegraph::getRoot();
    edit(root, osg::Node::ChildrenFieldMask, [&] {
        while (root->getNChildren() > 0)
            root->subChild(0u);
    });
}

} // namespace modeltest
