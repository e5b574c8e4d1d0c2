// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/SceneGraph.h"

#include "references/ksReferenceTypes.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include <sys/time.h>

namespace modeltest {

// One edit of `fc` with `mask`, as host code makes them.
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

// A node with a reference core carrying the records (either may be empty),
// published as host code would set them up.
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

inline osg::NodeRefPtr makeGroupNode()
{
    osg::NodeRefPtr node = osg::Node::create();
    node->setCore(osg::GroupBase::create());
    return node;
}

inline void addChild(const osg::NodePtr& parent, const osg::NodeRefPtr& child)
{
    edit(parent, osg::Node::ChildrenFieldMask, [&] { parent->addChild(child); });
}

// Files in a temporary directory, with modification times set by hand, so
// that tests need not wait for the clock.
class TempFiles
{
public:
    TempFiles() { EXPECT_TRUE(m_dir.isValid()); }

    std::string path(const QString& name) const { return m_dir.filePath(name).toStdString(); }

    std::string write(const QString& name, const QByteArray& content)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
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
