// Licensed under the MIT licence; see LICENSE.
// Nodes, reference cores and the interface lookup for the tests of the
// reference interface.
#pragma once

// First: Qt defines `slots` as a macro, a member name in the scene graph.
#include "scenegraph/SceneGraph.h"

#include "kernel/ksInterfaceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceTypes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace interfacetest {

inline ksReferenceInterface& refs()
{
    return *ksInterfaceFactory::the().get<ksReferenceInterface>();
}

inline osg::FileReferenceRefPtr record(const std::string& path, osg::UInt32 state = ksReferenceTypes::UpToDate)
{
    osg::FileReferenceRefPtr file = osg::FileReference::create();
    file->setPath(path);
    file->setState(state);
    return file;
}

// Loaded cores are the ones clones can follow.
inline osg::ExtReferenceRefPtr smartCore(const std::string& path, osg::UInt32 state = ksReferenceTypes::UpToDate,
                                         bool loaded = false)
{
    osg::ExtReferenceRefPtr core = osg::ExtReference::create();
    core->setSmartFile(record(path, state));
    if (loaded)
        core->setState(ksReferenceTypes::Loaded);
    return core;
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

inline std::vector<std::string> childNames(const osg::NodePtr& node)
{
    std::vector<std::string> names;
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        names.push_back(ksNodeUtils::getName(node->getChild(i)));
    return names;
}

inline osg::ExtReferencePtr coreOf(const osg::NodePtr& node)
{
    return osg::ExtReferencePtr::dcast(node->getCore());
}

// The path of `name` in a fresh directory, written when there is content.
struct TempFiles : QTemporaryDir
{
    std::string file(const char* name, const QByteArray& content = QByteArray()) const
    {
        QFile out(filePath(name));
        EXPECT_TRUE(content.isEmpty() || (out.open(QIODevice::WriteOnly) && out.write(content) == content.size()));
        return filePath(name).toStdString();
    }
};

} // namespace interfacetest
