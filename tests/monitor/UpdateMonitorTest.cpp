// Licensed under the MIT licence; see LICENSE.
// The update monitor on real files: what a pass records, reports and checksums,
// how pauses drive its thread; and how the reference service runs, pauses and
// applies it in a running host, telling the user.
#include "scenegraph/SceneGraph.h"

#include "StartedHostEnvironment.h"
#include "TempFiles.h"

#include "fileio/ksFileIOService.h"
#include "handles/ksTypeConverter.h"
#include "kernel/ksKernelServiceFactory.h"
#include "model/ksReferencePool.h"
#include "monitor/ksReferenceUpdateMonitor.h"
#include "notification/Notification.h"
#include "notification/NotificationManager.h"
#include "references/ksReferenceService.h"
#include "references/ksdReferenceNode.h"
#include "utils/ksFile.h"
#include "utils/ksLog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <sys/stat.h>

using FileState = ksReferenceTypes::FileState;
using ksa::notification::NotificationManager;

namespace {

// One host for the whole program, as the module's service registers once; its
// start installs the pool's hooks. At its end the service goes first, and with
// it the service's monitor thread.
::testing::Environment* const host = ::testing::AddGlobalTestEnvironment(new StartedHostEnvironment);

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

// A record of `path`; with checksum and time of the file when it exists.
inline osg::FileReferenceRefPtr makeRecord(const std::string& path, osg::UInt32 state = ksReferenceTypes::UpToDate)
{
    osg::FileReferenceRefPtr record = osg::FileReference::create();
    record->setPath(path);
    record->setState(state);
    struct stat info;
    if (!path.empty() && ::stat(path.c_str(), &info) == 0) {
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

    osg::ExtReferenceRefPtr m_core = osg::ExtReference::create();
    osg::NodeRefPtr m_node = osg::Node::create();
};

class UpdateMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The service's own monitor stays off, not to race this one over the records.
        ksKernelServiceFactory::the().get<ksReferenceService>()->setUpdateMonitoringEnabled(false);
        // Long enough that only the passes a test asks for run; file events
        // would add checks of their own (they have tests of their own below).
        m_monitor.setInterval(3600 * 1000);
        m_monitor.setFileEventsEnabled(false);
        QObject::connect(&m_monitor, &ksReferenceUpdateMonitor::referencesUpdated, &m_receiver,
                         [this](const QList<uint>& ids) {
                             EXPECT_EQ(QThread::currentThread(), m_receiver.thread());
                             m_reports.append(ids);
                         });
    }

    // Exactly one fresh pass: a new thread runs one at once, then waits out
    // the hour-long interval until stop() cuts the wait short.
    void pass(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            m_monitor.stop();
            const std::uint64_t before = m_monitor.getPassCount();
            m_monitor.start();
            ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() > before; }));
        }
    }

    // Every id reported since the last call, sorted: a pass walks the
    // snapshot in no particular order.
    QList<uint> reported()
    {
        QList<uint> all;
        for (const QList<uint>& ids : m_reports)
            all += ids;
        m_reports.clear();
        std::sort(all.begin(), all.end());
        return all;
    }

    TempFiles m_files;
    ksReferenceUpdateMonitor m_monitor;
    QObject m_receiver;
    QList<QList<uint>> m_reports;
};

TEST_F(UpdateMonitorTest, ContentIsChecksummedOncePerNewTimeAndARestoredFileAgain)
{
    const std::string file = m_files.write("door.zmb", "original", 1000);
    const Reference door(makeRecord(file));
    const ksFileReferenceStatusPtr status = door.smartStatus();
    pass();
    EXPECT_TRUE(reported().isEmpty());
    EXPECT_EQ(m_monitor.getChecksumCount(), 0u) << "the recorded time matched";

    // Touched only: one checksum, and the new time becomes the recorded one.
    TempFiles::setModificationTime(file, 1500);
    pass(3);
    EXPECT_TRUE(reported().isEmpty());
    EXPECT_EQ(status->lastModified.load(), 1500u);
    EXPECT_EQ(m_monitor.getChecksumCount(), 1u);
    // Really changed: outdated, reported once, checksummed once.
    m_files.write("door.zmb", "edited", 1600);
    pass(3);
    EXPECT_EQ(reported(), QList<uint>{door.id()});
    EXPECT_EQ(status->state.load(), FileState::Outdated);
    EXPECT_EQ(status->lastModified.load(), 1500u) << "the recorded checksum still belongs to the old time";
    EXPECT_EQ(m_monitor.getChecksumCount(), 2u);

    m_files.remove("door.zmb");
    pass(2);
    EXPECT_EQ(reported(), QList<uint>{door.id()}) << "reported once, not again while still missing";
    EXPECT_EQ(status->state.load(), FileState::Missing);
    EXPECT_EQ(status->lastModified.load(), 0u);
    EXPECT_EQ(status->lastChecked.load(), 0u);
    // Back with the recorded content and time: the reset time forces a checksum.
    m_files.write("door.zmb", "original", 1500);
    pass();
    EXPECT_EQ(reported(), QList<uint>{door.id()});
    EXPECT_EQ(status->state.load(), FileState::UpToDate);
    EXPECT_EQ(status->lastModified.load(), 1500u);
    EXPECT_EQ(m_monitor.getChecksumCount(), 3u);
}

TEST_F(UpdateMonitorTest, OnePassReportsEachChangedCoreOnceAndSkipsRecordsWithoutPath)
{
    const Reference both(makeRecord(m_files.write("a.zmb", "a", 100)), makeRecord(m_files.write("a.stp", "a", 100)));
    const Reference steady(makeRecord(m_files.write("b.zmb", "b", 100)));
    // Records that name no file: neither examined nor reported.
    const Reference unset(makeRecord({}), makeRecord(m_files.path("absent.stp"), FileState::NoPath));
    const Reference bare({}, {});
    // A record without checksum takes the first one.
    osg::FileReferenceRefPtr unsummed = makeRecord(m_files.write("hood.zmb", "content", 2000), FileState::Outdated);
    unsummed->setChecksum(0);
    unsummed->setLastModified(0);
    const Reference hood({}, unsummed);

    m_files.remove("a.zmb");
    m_files.remove("a.stp");
    pass();
    ASSERT_EQ(m_reports.size(), 1) << "one signal per pass";
    EXPECT_EQ(reported(), (QList<uint>{both.id(), hood.id()})) << "ids grow with creation";
    EXPECT_EQ(both.smartStatus()->state.load(), FileState::Missing);
    EXPECT_EQ(both.sourceStatus()->state.load(), FileState::Missing);
    EXPECT_EQ(steady.smartStatus()->state.load(), FileState::UpToDate);
    EXPECT_EQ(unset.sourceStatus()->state.load(), FileState::NoPath);
    EXPECT_EQ(hood.sourceStatus()->state.load(), FileState::UpToDate);
    EXPECT_EQ(hood.sourceStatus()->checksum.load(), ksFile::getChecksum(m_files.path("hood.zmb")));
    EXPECT_EQ(hood.sourceStatus()->lastModified.load(), 2000u);
}

TEST_F(UpdateMonitorTest, PausesNestTheLastResumeStartsAFreshPassAndAStopWins)
{
    const Reference door(makeRecord(m_files.write("door_v1.zmb", "one", 100)));
    m_files.write("door_v2.zmb", "two", 200);
    m_monitor.setRevisionCheckEnabled(true);
    m_monitor.start();
    m_monitor.start();
    ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 1; }));
    m_monitor.setPaused(true);
    m_monitor.setPaused(true);
    m_monitor.setPaused(false);
    EXPECT_FALSE(m_monitor.isRunning());
    m_monitor.setPaused(false);
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 2; })) << "no wait before the first pass";

    // A resume without a pause is ignored: the next pause still ends the thread.
    m_monitor.setPaused(false);
    m_monitor.setPaused(true);
    EXPECT_FALSE(m_monitor.isRunning());

    // Stopped while paused: resuming or new expressions launch nothing.
    m_monitor.stop();
    m_monitor.stop();
    EXPECT_FALSE(m_monitor.isStarted());
    m_monitor.setPaused(false);
    m_monitor.setRevisionExpressions({"_v(\\d+)"});
    EXPECT_FALSE(m_monitor.isRunning());

    // Started while paused: the thread waits for the resume.
    m_monitor.setPaused(true);
    m_monitor.start();
    m_monitor.setRevisionExpressions({"_r(\\d+)"});
    EXPECT_FALSE(m_monitor.isRunning());
    m_monitor.setPaused(false);
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 3; }));
    EXPECT_EQ(door.smartStatus()->state.load(), FileState::UpToDate) << "no revision under these expressions";

    // A zero interval, from the next wait on, runs passes back to back.
    m_monitor.setInterval(0);
    m_monitor.setPaused(true);
    m_monitor.setPaused(false);
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() >= 10; }));

    // The thread reads the expressions without a lock, so it must be gone
    // while they change, also after a resume that had no pause; each fresh
    // thread starts with a pass, and the passes cut short keep what they found.
    m_monitor.setPaused(false);
    for (int round = 0; round < 20; ++round)
        m_monitor.setRevisionExpressions({"_v(\\d+)"});
    EXPECT_TRUE(m_monitor.isRunning());
    EXPECT_TRUE(waitUntil([&] { return door.smartStatus()->state.load() == FileState::Outdated; }));
}

// A stop during a long pass ends it at the next file: the files after that
// keep their old state, and the pass neither counts nor reports.
TEST_F(UpdateMonitorTest, AStopCutsALongPassShort)
{
    constexpr int count = 20000;
    std::vector<std::unique_ptr<Reference>> gone;
    for (int i = 0; i < count; ++i)
        gone.push_back(std::make_unique<Reference>(makeRecord(m_files.path(QString("gone%1.zmb").arg(i)))));
    const ksStatusSnapshot snapshot = ksReferencePool::instance().getStatusSnapshot();
    ASSERT_EQ(snapshot.size(), count);
    // The pass goes in id order: this one is checked first.
    const ksFileReferenceStatusPtr first = snapshot.begin().value()->smart();
    const auto missing = [&] {
        int n = 0;
        for (const auto& entry : snapshot)
            n += entry.status->smart()->state.load() == FileState::Missing;
        return n;
    };

    // The main thread may lose the processor long enough for a pass to end
    // before the stop; a few tries make that a matter of chance no more.
    bool cutShort = false;
    for (int attempt = 0; attempt < 5 && !cutShort; ++attempt) {
        for (const auto& entry : snapshot)
            entry.status->smart()->state.store(FileState::UpToDate);
        const std::uint64_t before = m_monitor.getPassCount();
        m_monitor.start();
        QDeadlineTimer deadline(30000);
        while (first->state.load() != FileState::Missing && !deadline.hasExpired())
            std::this_thread::yield();
        m_monitor.stop();
        cutShort = m_monitor.getPassCount() == before;
    }
    ASSERT_TRUE(cutShort) << "every pass ran to its end despite the stop";
    EXPECT_LT(missing(), count);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(reported().isEmpty());
}

// File events wake the monitor between passes; the interval's pass stays the net.
class FileEventsTest : public UpdateMonitorTest
{
protected:
    void SetUp() override
    {
        UpdateMonitorTest::SetUp();
        m_monitor.setFileEventsEnabled(true);
        m_monitor.setInterval(60 * 1000);
    }

    // Starts the monitor and waits for its first pass, which sets up the watches.
    void startWatching()
    {
        m_monitor.start();
        ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 1; }));
    }

    bool waitForReport(uint id)
    {
        return waitUntil([&] {
            return std::any_of(m_reports.begin(), m_reports.end(), [id](const QList<uint>& ids) { return ids.contains(id); });
        });
    }
};

TEST_F(FileEventsTest, WritesDeletionsRenamesAndNewRevisionsAreReportedWithoutWaitingForTheInterval)
{
    const Reference door(makeRecord(m_files.write("door.zmb", "original", 1000)));
    const Reference hood(makeRecord(m_files.write("hood.zmb", "original", 1000)));
    const Reference wheel(makeRecord(m_files.write("wheel_v1.obj", "wheel", 1000)));
    m_monitor.setRevisionCheckEnabled(true);
    m_monitor.setRevisionExpressions({"_v(\\d+)"});
    startWatching();
    EXPECT_GE(m_monitor.getWatchCount(), 1);

    m_files.write("door.zmb", "edited", 1100);
    ASSERT_TRUE(waitForReport(door.id())) << "written";
    EXPECT_EQ(door.smartStatus()->state.load(), FileState::Outdated);
    reported();

    m_files.remove("hood.zmb");
    ASSERT_TRUE(waitForReport(hood.id())) << "deleted";
    EXPECT_EQ(hood.smartStatus()->state.load(), FileState::Missing);
    reported();

    // Saved the way editors save: a new file renamed over the old name.
    m_files.write("hood.zmb.part", "original", 1000);
    ASSERT_TRUE(std::rename(m_files.path("hood.zmb.part").c_str(), m_files.path("hood.zmb").c_str()) == 0);
    ASSERT_TRUE(waitForReport(hood.id())) << "renamed into place";
    EXPECT_EQ(hood.smartStatus()->state.load(), FileState::UpToDate);
    reported();

    // A new name in the folder is a newer revision of a watched file.
    m_files.write("wheel_v2.obj", "wheel", 1000);
    ASSERT_TRUE(waitForReport(wheel.id())) << "newer revision";
    EXPECT_EQ(wheel.smartStatus()->state.load(), FileState::Outdated);

    EXPECT_EQ(m_monitor.getPassCount(), 1u) << "every change came through events, none through the interval";
    EXPECT_GE(m_monitor.getEventPassCount(), 4u);
}

TEST_F(FileEventsTest, AFolderBeyondTheWatchBoundIsPolledAndSaidSoOnce)
{
    TempFiles other;
    const Reference watched(makeRecord(m_files.write("a.zmb", "a", 1000)));
    const Reference polled(makeRecord(other.write("b.zmb", "b", 1000)));
    QStringList log;
    const ksSubscription subscription =
        ksLog::subscribe([&log](ksLog::Level, const std::string& text) { log << QString::fromStdString(text); });
    m_monitor.setWatchLimit(1);
    m_monitor.setInterval(200);
    startWatching();
    EXPECT_EQ(m_monitor.getWatchCount(), 1);

    other.write("b.zmb", "changed", 1100);
    ASSERT_TRUE(waitForReport(polled.id())) << "the poll finds what no watch sees";
    EXPECT_EQ(polled.smartStatus()->state.load(), FileState::Outdated);
    ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() >= 4; }));
    EXPECT_EQ(log.filter("beyond the bound").size(), 1) << log.join('\n').toStdString();
}

TEST_F(FileEventsTest, RemovingAReferenceReleasesItsWatchAndANewOneGetsOne)
{
    TempFiles other;
    const Reference kept(makeRecord(m_files.write("a.zmb", "a", 1000)));
    auto removed = std::make_unique<Reference>(makeRecord(other.write("b.zmb", "b", 1000)));
    startWatching();
    EXPECT_EQ(m_monitor.getWatchCount(), 2);

    removed.reset();
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getWatchCount() == 1; }));

    TempFiles third;
    const Reference added(makeRecord(third.write("c.zmb", "c", 1000)));
    ASSERT_TRUE(waitUntil([&] { return m_monitor.getWatchCount() == 2; }));
    third.write("c.zmb", "changed", 1100);
    EXPECT_TRUE(waitForReport(added.id())) << "a reference added after the pass is watched too";
    EXPECT_EQ(m_monitor.getPassCount(), 1u);
}

TEST(UpdateMonitorLifetime, DestroyingARunningMonitorEndsItsThread)
{
    TempFiles files;
    const Reference door(makeRecord(files.write("door.zmb", "x", 10)));
    files.remove("door.zmb");
    for (int round = 0; round < 20; ++round) {
        QObject receiver;
        auto monitor = std::make_unique<ksReferenceUpdateMonitor>();
        QObject::connect(monitor.get(), &ksReferenceUpdateMonitor::referencesUpdated, &receiver,
                         [] { ADD_FAILURE() << "a destroyed monitor reported"; });
        monitor->setInterval(0);
        monitor->start();
        QThread::usleep(200 * (round % 3));
        monitor.reset();
        QCoreApplication::sendPostedEvents();
    }
}

const QString missingText = QStringLiteral("Reference(s) missing, see Reference Editor.");
const QString updatesText = QStringLiteral("Reference update(s) available, see Reference Editor.");

class UpdateMonitorServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service && monitor);
        ASSERT_TRUE(ksReferencePool::instance().isEmpty()) << "a test left references behind";
        NotificationManager::getInstance()->removeAll();
        service->setUpdateMonitoringInterval(10);
        // Recorded as shown: each goes again after a few seconds.
        QObject::connect(NotificationManager::getInstance(), &NotificationManager::notificationShown, &m_receiver,
                         [this](ksa::notification::Notification* shown) {
                             EXPECT_EQ(shown->context(), "tool");
                             m_shown << shown->displayText();
                         });
    }

    void TearDown() override
    {
        service->setUpdateMonitoringEnabled(false);
        service->setNotificationMode(ksReferenceTypes::NotificationMode(0));
        service->setRevisionCheckEnabled(false);
        service->setRevisionExpressions({});
        NotificationManager::getInstance()->removeAll();
    }

    // The next referencesChanged that names nodes (the scene-change signals
    // name none).
    QList<ksdReferenceNode> nextChange()
    {
        QList<ksdReferenceNode> nodes;
        EXPECT_TRUE(waitUntil([&] {
            while (!m_changes.isEmpty()) {
                nodes = m_changes.takeFirst().at(0).value<QList<ksdReferenceNode>>();
                if (!nodes.isEmpty())
                    return true;
            }
            return false;
        })) << "no results from the monitor";
        return nodes;
    }

    static osg::UInt32 smartState(const Reference& reference) { return reference.core()->getSmartFile()->getState(); }

    ksReferenceService* service = ksKernelServiceFactory::the().get<ksReferenceService>();
    ksReferenceUpdateMonitor* monitor = service ? service->findChild<ksReferenceUpdateMonitor*>() : nullptr;
    QSignalSpy m_changes{service, &ksReferenceService::referencesChanged};
    TempFiles m_files;
    QObject m_receiver;
    QStringList m_shown;
};

TEST_F(UpdateMonitorServiceTest, MonitorRunsWhileEnabledWithReferencesAndOutsideLoadsAndSaves)
{
    EXPECT_FALSE(monitor->isRunning());
    service->setUpdateMonitoringEnabled(true);
    EXPECT_FALSE(monitor->isRunning()) << "nothing to watch";

    const std::string file = m_files.write("a.zmb", "a", 10);
    auto first = std::make_unique<Reference>(makeRecord(file));
    EXPECT_TRUE(monitor->isRunning());

    // The last reference going stops the thread, also while passes follow
    // each other as fast as they can.
    service->setUpdateMonitoringInterval(0);
    for (int round = 0; round < 20; ++round) {
        first.reset();
        EXPECT_FALSE(monitor->isRunning());
        first = std::make_unique<Reference>(makeRecord(file));
        EXPECT_TRUE(monitor->isRunning());
    }
    first.reset();
    EXPECT_FALSE(monitor->isRunning());

    // With monitoring off, references do not start it; switched on, they do.
    service->setUpdateMonitoringEnabled(false);
    const Reference door(makeRecord(file));
    EXPECT_FALSE(monitor->isRunning());
    service->setUpdateMonitoringEnabled(true);
    EXPECT_TRUE(monitor->isRunning());

    // A project load with an import in it resumes after both.
    ksFileIOService* fileIO = ksKernelServiceFactory::the().get<ksFileIOService>();
    emit fileIO->projectLoad("scene.zmb");
    EXPECT_FALSE(monitor->isRunning());
    emit fileIO->startingImport(7, 1);
    emit fileIO->importFinished(7, 0.5);
    EXPECT_TRUE(service->isUpdateMonitoringPaused()) << "the load has not finished";
    EXPECT_FALSE(monitor->isRunning());
    emit fileIO->projectLoadFinished("scene.zmb", true);
    EXPECT_TRUE(monitor->isRunning());

    // A save pauses too; a pause through the service nests with it.
    emit fileIO->projectSave("scene.zmb");
    service->setUpdateMonitoringPaused(true);
    emit fileIO->projectSaved("scene.zmb");
    EXPECT_FALSE(monitor->isRunning());
    service->setUpdateMonitoringPaused(false);
    EXPECT_TRUE(monitor->isRunning());

    service->setUpdateMonitoringInterval(1234);
    EXPECT_EQ(monitor->getInterval(), 1234);
}

TEST_F(UpdateMonitorServiceTest, MissingChangedAndNewerFilesReachTheRecordsTheHandlesAndTheUserAsTheModeSays)
{
    const Reference door(makeRecord(m_files.write("door_v3.zmb", "first", 1000)));
    // A clone shares the core: both nodes show the new state.
    const osg::NodeRefPtr clone = osg::Node::create();
    osg::beginEditCP(clone, osg::Node::CoreFieldMask);
    clone->setCore(door.core());
    osg::endEditCP(clone, osg::Node::CoreFieldMask);
    const Reference hood(makeRecord(m_files.write("hood.zmb", "h", 100)));
    QList<ksdReferenceNode> expected{ksdReferenceNode(ksTypeConverter::convertNode(door.node().get())),
                                     ksdReferenceNode(ksTypeConverter::convertNode(clone.get())),
                                     ksdReferenceNode(ksTypeConverter::convertNode(hood.node().get()))};
    std::sort(expected.begin(), expected.end());
    ASSERT_FALSE(expected[0].isNull());

    service->setNotificationMode(ksReferenceTypes::NotifyAfterUpdateCheck);
    m_files.remove("door_v3.zmb");
    m_files.write("hood.zmb", "edited", 200);
    service->setUpdateMonitoringEnabled(true);
    QList<ksdReferenceNode> nodes = nextChange();
    std::sort(nodes.begin(), nodes.end());
    EXPECT_EQ(nodes, expected) << "all in the first pass";
    EXPECT_EQ(smartState(door), ksReferenceTypes::Missing);
    EXPECT_EQ(smartState(hood), ksReferenceTypes::Outdated);
    EXPECT_EQ(door.core()->getSmartFile()->getLastModified(), 0u);
    EXPECT_EQ(m_shown, QStringList{missingText}) << "a missing file outweighs the update";

    m_files.write("door_v3.zmb", "second", 2000);
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::Outdated);
    EXPECT_EQ(m_shown, (QStringList{missingText, updatesText}));

    // Back to the recorded content: up to date, nothing to tell.
    m_files.write("door_v3.zmb", "first", 3000);
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::UpToDate);
    EXPECT_EQ(door.core()->getSmartFile()->getLastModified(), 3000u);
    EXPECT_EQ(m_shown.size(), 2);
    // The revision settings reach the monitor: a newer revision beside it.
    m_files.write("door_v12.zmb", "twelve", 1200);
    service->setRevisionExpressions({"_v(\\d+)"});
    service->setRevisionCheckEnabled(true);
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::Outdated);
    EXPECT_EQ(m_shown, (QStringList{missingText, updatesText, updatesText}));
    // Every pass lists the directory afresh.
    m_files.remove("door_v12.zmb");
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::UpToDate);

    service->setNotificationMode(ksReferenceTypes::NoNotification);
    m_files.remove("door_v3.zmb");
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::Missing);
    EXPECT_EQ(m_shown.size(), 3) << "mode 0 tells nothing";
}

} // namespace
