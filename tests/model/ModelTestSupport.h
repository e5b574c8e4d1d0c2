// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"

#include "references/ksReferenceTypes.h"
#include "scene/ksScenegraph.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include <sys/time.h>

namespace modeltest {

// One published edit of `fc`, as host code makes them.
template <class F> void edit(const osg::FieldContainerPtr& fc, osg::BitVector mask, F change)
{
    osg::beginEditCP(fc, mask);
    change();
    osg::endEditCP(fc, mask);
}

inline osg::FileReferenceRefPtr makeRecord(const std::string& path, osg::UInt32 state = ksReferenceTypes::UpToDate)
{
    osg::FileReferenceRefPtr record = osg::FileReferenceBase::create();
    record->setPath(path);
    record->setState(state);
    return record;
}

// A node whose reference core gets the records (empty path: none) in one
// edit, as a new reference is set up.
inline osg::NodeRefPtr makeReferenceNode(const std::string& smartPath, const std::string& sourcePath = std::string(),
                                         osg::UInt32 state = ksReferenceTypes::Loaded)
{
    osg::ExtReferenceRefPtr core = osg::ExtReferenceBase::create();
    edit(core.get(), osg::FieldBits::AllFields, [&] {
        if (!smartPath.empty())
            core->setSmartFile(makeRecord(smartPath));
        if (!sourcePath.empty())
            core->setSourceFile(makeRecord(sourcePath));
        core->setState(state);
    });
    osg::NodeRefPtr node = osg::Node::create();
    node->setCore(core);
    return node;
}

inline osg::ExtReferencePtr coreOf(const osg::NodeRefPtr& node)
{
    return osg::ExtReferencePtr::dcast(node->getCore());
}

inline void addChild(const osg::NodePtr& parent, const osg::NodeRefPtr& child)
{
    edit(parent, osg::Node::ChildrenFieldMask, [&] { parent->addChild(child); });
}

// A new Group node appended to `parent` (when given).
inline osg::NodeRefPtr addGroup(const osg::NodePtr& parent = osg::NullFC)
{
    osg::NodeRefPtr node = osg::Node::create();
    node->setCore(osg::GroupBase::create());
    if (parent)
        addChild(parent, node);
    return node;
}

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

// Files in a temporary directory, with modification times set by hand.
class TempFiles
{
public:
    std::string path(const QString& name) const { return m_dir.filePath(name).toStdString(); }

    std::string write(const QString& name, const QByteArray& content)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        return path(name);
    }

    static void setModificationTime(const std::string& path, qint64 seconds)
    {
        const timeval times[2] = {{seconds, 0}, {seconds, 0}};
        EXPECT_EQ(::utimes(path.c_str(), times), 0);
    }

private:
    QTemporaryDir m_dir;
};

} // namespace modeltest
