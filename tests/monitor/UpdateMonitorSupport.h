// Licensed under the MIT licence; see LICENSE.
#pragma once

// First: Qt defines `slots` as a macro, a member name in the scene graph.
#include "scenegraph/SceneGraph.h"

#include "model/ksReferencePool.h"
#include "references/ksReferenceTypes.h"
#include "utils/ksFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>

namespace updatemonitortest {

inline void ensurePoolHooks()
{
    [[maybe_unused]] static const bool installed = (ksReferencePool::instance().registerCallbacks(), true);
}

// Runs the event loop until `done` holds (false after 30 s), then delivers
// what is still posted.
inline bool waitUntil(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    QCoreApplication::sendPostedEvents();
    return true;
}

// Files in a fresh directory, with modification times set by hand so that
// no test waits for the clock.
class TestFiles
{
public:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString write(const QString& name, const QByteArray& content, qint64 modified) const
    {
        QFile out(path(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(content) == content.size());
        out.close();
        touch(out.fileName(), modified);
        return out.fileName();
    }

    static void touch(const QString& file, qint64 seconds)
    {
        const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
    }

    void remove(const QString& name) const { EXPECT_TRUE(QFile::remove(path(name))); }

private:
    QTemporaryDir m_dir;
};

// A record of `path`; with checksum and time of the file when it exists.
inline osg::FileReferenceRefPtr makeRecord(const QString& path, osg::UInt32 state = ksReferenceTypes::UpToDate)
{
    osg::FileReferenceRefPtr record = osg::FileReferenceBase::create();
    record->setPath(path.toStdString());
    record->setState(state);
    struct stat info;
    if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0) {
        record->setChecksum(ksFile::getChecksum(path));
        record->setLastModified(osg::UInt64(info.st_mtim.tv_sec));
    }
    return record;
}

// A reference node whose core carries the given records (either may be
// null); the pool learns of it through the scene graph's hooks.
//
//   node (ExtReference: smart record, source record)
class Reference
{
public:
    Reference(osg::FileReferenceRefPtr smart, osg::FileReferenceRefPtr source = {})
    {
        const osg::BitVector mask = osg::ExtReference::SmartFileFieldMask | osg::ExtReference::SourceFileFieldMask;
        osg::beginEditCP(m_core, mask);
        m_core->setSmartFile(std::move(smart));
        m_core->setSourceFile(std::move(source));
        osg::endEditCP(m_core, mask);
        osg::beginEditCP(m_node, osg::Node::CoreFieldMask);
        m_node->setCore(m_core);
        osg::endEditCP(m_node, osg::Node::CoreFieldMask);
    }

    osg::UInt32 id() const { return m_core.getFieldContainerId(); }
    const osg::ExtReferenceRefPtr& core() const { return m_core; }
    const osg::NodeRefPtr& node() const { return m_node; }
    ksFileReferenceStatusPtr smartStatus() const { return statuses()->smart(); }
    ksFileReferenceStatusPtr sourceStatus() const { return statuses()->source(); }

private:
    ksExtReferenceStatusPtr statuses() const
    {
        const ksExtReferenceStatusPtr found = ksReferencePool::instance().getStatusSnapshot().value(id());
        return found ? found : throw std::runtime_error("the core is not pooled");
    }

    osg::ExtReferenceRefPtr m_core = osg::ExtReferenceBase::create();
    osg::NodeRefPtr m_node = osg::Node::create();
};

} // namespace updatemonitortest
