// Licensed under the MIT licence; see LICENSE.
// Scenes and smart files for the tests of the reference tree operations.
#pragma once

#include "ModelTestSupport.h"

#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "nodeutils/ksNodeUtils.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/SceneFileHandler.h"

#include <QStringList>

#include <vector>

namespace treetest {

inline osg::NodeRefPtr named(osg::NodeRefPtr node, const std::string& name)
{
    ksNodeUtils::setName(node.get(), name, false);
    return node;
}

// A group node named `name`, appended to `parent` when one is given.
inline osg::NodeRefPtr addGroup(const osg::NodePtr& parent, const std::string& name)
{
    osg::NodeRefPtr node = named(modeltest::makeGroupNode(), name);
    if (parent)
        modeltest::addChild(parent, node);
    return node;
}

inline osg::NodeRefPtr addReference(const osg::NodePtr& parent, const std::string& name, const std::string& smartPath,
                                    const std::string& sourcePath = std::string(),
                                    osg::UInt32 state = ksReferenceTypes::Loaded)
{
    osg::NodeRefPtr node = named(modeltest::makeReferenceNode(smartPath, sourcePath, state), name);
    if (parent)
        modeltest::addChild(parent, node);
    return node;
}

inline std::vector<std::string> childNames(const osg::NodePtr& node)
{
    std::vector<std::string> names;
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        names.push_back(ksNodeUtils::getName(node->getChild(i)));
    return names;
}

// Writes an ".osb" smart file whose root is named "Root", so that a load
// adds the root's children, named `children`, to the reference node.
inline std::string writeSmartFile(modeltest::TempFiles& files, const QString& name, const QStringList& children)
{
    const osg::NodeRefPtr root = named(modeltest::makeGroupNode(), "Root");
    for (const QString& child : children)
        addGroup(root.get(), child.toStdString());
    const std::string path = files.path(name);
    EXPECT_TRUE(osg::SceneFileHandler::the().write(root.get(), path));
    return path;
}

inline ksReferencePool& pool()
{
    return ksReferencePool::instance();
}

} // namespace treetest
