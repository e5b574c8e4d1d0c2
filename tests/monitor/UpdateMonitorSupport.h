// Licensed under the MIT licence; see LICENSE.
#pragma once

// First: Qt defines `slots` as a macro, a member name in the scene graph.
#include "scenegraph/SceneGraph.h"

#include "model/ksReferencePool.h"
#include "references/ksReferenceTypes.h"
#include "utils/ksFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

namespace updatemonitortest {

// The pool learns of reference cores through the scene graph's hooks.
inline void ensurePoolHooks()
{
    static const bool installed = [] {
        ksReferencePool::instance().registerCallbacks();
        return true;
    }();
    (void)installed;
}

// Runs the event loop until `done` holds; false after 30 s.
inline bool waitUntil(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    // Results a pass posted before it counted itself are delivered now.
    QCoreApplication::sendPostedEvents();
    return true;
}

// Files in a fresh temporary directory, with modification times set by hand
// so that no test waits for the clock.
class TestFiles
{
public:
    TestFiles() { EXPECT_TRUE(m_dir.isValid()); }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString write(const QString& name, const QByteArray& content, qint64 modified)
    {
        const QString file = path(name);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate)) << file.toStdString();
        out.write(content);
        out.close();
        setModified(file, modified);
        return file;
    }

    static void setModified(const QString& file, qint64 seconds)
    {
        struct timespec times[2];
        times[0].tv_sec = seconds;
        times[0].tv_nsec = 0;
        times[1] = times[0];
        EXPECT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0) << file.toStdString();
    }

    static void remove(const QString& file) { EXPECT_TRUE(QFile::remove(file)) << file.toStdString(); }

    static osg::UInt32 checksum(const QString& file) { return ksFile::getChecksum(file); }

private:
    QTemporaryDir m_dir;
};

// What a file record holds when it is created.
struct Record
{
    QString path;
    osg::UInt32 state = ksReferenceTypes::UpToDate;
    osg::UInt32 checksum = 0;
    osg::UInt64 lastModified = 0;
};

inline osg::FileReferenceRefPtr makeRecord(const Record& values)
{
    osg::FileReferenceRefPtr record = osg::FileReferenceBase::create();
    record->setPath(values.path.toStdString());
    record->setState(values.state);
    record->setChecksum(values.checksum);
    record->setLastModified(values.lastModified);
    return record;
}

// A record of an existing file that matches it: its checksum and time.
inline Record recordOf(const QString& file, osg::UInt32 state = ksReferenceTypes::UpToDate)
{
    return Record{file, state, TestFiles::checksum(file), osg::UInt64(QFileInfo(file).lastModified().toSecsSinceEpoch())};
}

// A reference node whose core carries the given records; the pool learns of
// the core and its records through the scene graph's hooks.
//
//   node (ExtReference: smart record, source record)
class Reference
{
public:
    Reference(const Record* smart, const Record* source)
        : m_core(osg::ExtReferenceBase::create())
        , m_node(osg::Node::create())
    {
        osg::beginEditCP(m_core, osg::ExtReference::SmartFileFieldMask | osg::ExtReference::SourceFileFieldMask);
        if (smart)
            m_core->setSmartFile(makeRecord(*smart));
        if (source)
            m_core->setSourceFile(makeRecord(*source));
        osg::endEditCP(m_core, osg::ExtReference::SmartFileFieldMask | osg::ExtReference::SourceFileFieldMask);
        osg::beginEditCP(m_node, osg::Node::CoreFieldMask);
        m_node->setCore(m_core);
        osg::endEditCP(m_node, osg::Node::CoreFieldMask);
    }

    static Reference smart(const Record& record) { return Reference(&record, nullptr); }
    static Reference source(const Record& record) { return Reference(nullptr, &record); }

    osg::UInt32 id() const { return m_core.getFieldContainerId(); }
    const osg::ExtReferenceRefPtr& core() const { return m_core; }
    const osg::NodeRefPtr& node() const { return m_node; }

    // The pool's statuses of this core; a test fails without them.
    ksExtReferenceStatusPtr statuses() const
    {
        const ksExtReferenceStatusPtr found = ksReferencePool::instance().getStatusSnapshot().value(id());
        EXPECT_TRUE(found) << "core " << id() << " is not pooled";
        return found ? found : std::make_shared<ksExtReferenceStatus>(std::make_shared<ksFileReferenceStatus>(),
                                                                     std::make_shared<ksFileReferenceStatus>());
    }
    ksFileReferenceStatusPtr smartStatus() const { return statuses()->smart(); }
    ksFileReferenceStatusPtr sourceStatus() const { return statuses()->source(); }

private:
    osg::ExtReferenceRefPtr m_core;
    osg::NodeRefPtr m_node;
};

} // namespace updatemonitortest
