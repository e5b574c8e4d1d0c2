// Licensed under the MIT licence; see LICENSE.
// Scenes, files and lookups for the tests of the reference service, the node
// handles, the importer and the status text.
#pragma once

#include "ReferenceNodes.h"

#include "handles/ksdReferenceNode.h"
#include "handles/ksTypeConverter.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "scenegraph/SceneFileHandler.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace servicetest {

using namespace referencenodes;

template <class F> void edit(const osg::FieldContainerPtr& fc, osg::BitVector mask, F change)
{
    osg::beginEditCP(fc, mask);
    change();
    osg::endEditCP(fc, mask);
}

inline osg::NodeRefPtr makeGroup(const std::string& name)
{
    return add(osg::NullFC, name);
}

// A named reference node whose core carries the given records (an empty path
// gives no record).
inline osg::NodeRefPtr makeReference(const std::string& name, const std::string& smartPath,
                                     const std::string& sourcePath = std::string(),
                                     osg::UInt32 state = ksReferenceTypes::Loaded)
{
    osg::ExtReferenceRefPtr core = osg::ExtReferenceBase::create();
    edit(core.get(), osg::FieldBits::AllFields, [&] {
        if (!smartPath.empty())
            core->setSmartFile(record(smartPath));
        if (!sourcePath.empty())
            core->setSourceFile(record(sourcePath));
        core->setState(state);
    });
    osg::NodeRefPtr node = osg::Node::create();
    node->setCore(core);
    ksNodeUtils::setName(node.get(), name, false);
    return node;
}

inline void addChild(const osg::NodePtr& parent, const osg::NodeRefPtr& child)
{
    edit(parent, osg::Node::ChildrenFieldMask, [&] { parent->addChild(child); });
}

// A subtree as one line: names, "[smart|source]" record paths of reference
// cores ("-" without a record), children in parentheses.
inline std::string dump(const osg::NodePtr& node)
{
    std::string text = ksNodeUtils::getName(node);
    if (const osg::ExtReferencePtr core = coreOf(node)) {
        const auto path = [](const osg::FileReferencePtr& r) {
            return r ? "'" + r->getPath() + "'" : std::string("-");
        };
        text += "[" + path(core->getSmartFile()) + "|" + path(core->getSourceFile()) + "]";
    }
    for (osg::UInt32 i = 0; i < node->getNChildren(); ++i)
        text += (i ? ", " : "(") + dump(node->getChild(i)) + (i + 1 == node->getNChildren() ? ")" : "");
    return text;
}

// What a handle tells of one file: path, file state, owner and modification
// time in seconds ("-" for an invalid date).
inline std::string fileLine(const QString& path, int state, const QString& owner, const QDateTime& modified)
{
    const QString time = modified.isValid() ? QString::number(modified.toSecsSinceEpoch()) : QStringLiteral("-");
    return QStringLiteral("%1 %2 %3 %4").arg(path).arg(state).arg(owner, time).toStdString();
}

inline std::string sourceLine(const ksdReferenceNode& node)
{
    return fileLine(node.getSourcePath(), node.getSourceFileState(), node.getSourceOwner(),
                    node.getSourceLastModified());
}

inline std::string smartLine(const ksdReferenceNode& node)
{
    return fileLine(node.getSmartPath(), node.getSmartFileState(), node.getSmartOwner(), node.getSmartLastModified());
}

// The line of a record that has just read `path` from disk.
inline std::string diskLine(const QString& path, int state)
{
    const QFileInfo info(path);
    return fileLine(QDir::toNativeSeparators(path), state, info.owner(),
                    info.exists() ? info.lastModified() : QDateTime());
}

inline ksdReferenceNode handleOf(const osg::NodePtr& node)
{
    return ksdReferenceNode(ksTypeConverter::convertNode(node));
}

inline ksReferenceInterface* referenceInterface()
{
    return ksInterfaceFactory::the().get<ksReferenceInterface>();
}

inline ksReferenceService* service()
{
    return ksKernelServiceFactory::the().get<ksReferenceService>();
}

struct TempFiles : QTemporaryDir
{
    std::string path(const QString& name) const { return filePath(name).toStdString(); }

    std::string write(const QString& name, const QByteArray& content)
    {
        QFile file(filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        return path(name);
    }

    // An ".osb" file whose root, named "Root", has groups named `children`;
    // loading it as a smart file adds those groups to the reference node.
    std::string writeScene(const QString& name, const QStringList& children)
    {
        const osg::NodeRefPtr root = makeGroup("Root");
        for (const QString& child : children)
            addChild(root.get(), makeGroup(child.toStdString()));
        EXPECT_TRUE(osg::SceneFileHandler::the().write(root.get(), path(name)));
        return path(name);
    }
};

} // namespace servicetest
