// Licensed under the MIT licence; see LICENSE.
#pragma once

// First: Qt defines `slots` as a macro, a member name in the scene graph.
#include "scenegraph/SceneGraph.h"

#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceTypes.h"

#include <string>
#include <vector>

// Small builders and lookups for trees of reference nodes.
namespace referencenodes {

inline osg::FileReferenceRefPtr record(const std::string& path, osg::UInt32 state = ksReferenceTypes::UpToDate)
{
    osg::FileReferenceRefPtr file = osg::FileReference::create();
    file->setPath(path);
    file->setState(state);
    return file;
}

// A node named `name` with `core` (a group when none), the last child of
// `parent` when there is one.
inline osg::NodeRefPtr add(const osg::NodePtr& parent, const std::string& name,
                           osg::NodeCoreRefPtr core = osg::NodeCoreRefPtr())
{
    osg::NodeRefPtr node = osg::Node::create();
    node->setCore(core ? std::move(core) : osg::NodeCoreRefPtr(osg::Group::create()));
    ksNodeUtils::setName(node.get(), name, false);
    if (parent) {
        osg::beginEditCP(parent, osg::Node::ChildrenFieldMask);
        parent->addChild(node);
        osg::endEditCP(parent, osg::Node::ChildrenFieldMask);
    }
    return node;
}

inline osg::ExtReferencePtr coreOf(const osg::NodePtr& node)
{
    return osg::ExtReferencePtr::dcast(node->getCore());
}

inline std::vector<std::string> childNames(const osg::NodePtr& node)
{
    std::vector<std::string> names;
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        names.push_back(ksNodeUtils::getName(node->getChild(i)));
    return names;
}

} // namespace referencenodes
