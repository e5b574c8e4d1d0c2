// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"

// Root
//   `count` nodes sharing one Group core
// Their records differ only in their numbers, so the block packs far
// tighter than any reader believes of a compressed part.
inline osg::NodeRefPtr identicalNodes(int count)
{
    osg::NodeRefPtr root = osg::Node::create();
    root->setCore(osg::Group::create());
    const osg::GroupRefPtr shared = osg::Group::create();
    for (int i = 0; i < count; ++i) {
        osg::NodeRefPtr child = osg::Node::create();
        child->setCore(shared);
        root->addChild(child);
    }
    return root;
}
