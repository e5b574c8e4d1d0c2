// Licensed under the MIT licence; see LICENSE.
// The update monitor against the pool's status records and real files: what
// a pass writes into the records, what it reports, how often it checksums,
// and how start, stop and nested pauses drive its thread.
#include "UpdateMonitorSupport.h"

#include "monitor/ksReferenceUpdateMonitor.h"

#include <algorithm>
#include <memory>

using namespace updatemonitortest;
using FileState = ksReferenceTypes::FileState;

namespace {

class UpdateMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensurePoolHooks();
        // Long enough that only the passes a test asks for run.
        m_monitor.setInterval(3600 * 1000);
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

    static QList<uint> sorted(QList<uint> ids)
    {
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    TestFiles m_files;
    ksReferenceUpdateMonitor m_monitor;
    QObject m_receiver;
    QList<QList<uint>> m_reports;
};

TEST_F(UpdateMonitorTest, DeletedFileIsMissingAndARestoredOneIsJudgedByItsContent)
{
    const Reference door(makeRecord(m_files.write("door.zmb", "first", 1000)));
    const ksFileReferenceStatusPtr status = door.smartStatus();

    pass();
    EXPECT_TRUE(reported().isEmpty());
    EXPECT_EQ(m_monitor.getChecksumCount(), 0u) << "the recorded time matched: no checksum";

    m_files.remove("door.zmb");
    pass(2);
    EXPECT_EQ(reported(), QList<uint>{door.id()}) << "reported once, not again while still missing";
    EXPECT_EQ(status->state.load(), FileState::Missing);
    EXPECT_EQ(status->lastModified.load(), 0u);
    EXPECT_EQ(status->lastChecked.load(), 0u);

    // Same content and even the same time as before: the reset time forces
    // a checksum, which finds the content unchanged.
    m_files.write("door.zmb", "first", 1000);
    pass();
    EXPECT_EQ(reported(), QList<uint>{door.id()});
    EXPECT_EQ(status->state.load(), FileState::UpToDate);
    EXPECT_EQ(status->lastModified.load(), 1000u);
    EXPECT_EQ(m_monitor.getChecksumCount(), 1u);

    m_files.remove("door.zmb");
    pass();
    m_files.write("door.zmb", "second", 1000);
    pass();
    EXPECT_EQ(reported(), (QList<uint>{door.id(), door.id()}));
    EXPECT_EQ(status->state.load(), FileState::Outdated);
}

TEST_F(UpdateMonitorTest, ContentIsChecksummedOncePerNewModificationTime)
{
    const QString file = m_files.write("wheel.stp", "original", 1000);
    const Reference wheel({}, makeRecord(file));
    const ksFileReferenceStatusPtr status = wheel.sourceStatus();

    // Touched only: one checksum, and the new time becomes the recorded one.
    TestFiles::touch(file, 1500);
    pass(3);
    EXPECT_TRUE(reported().isEmpty());
    EXPECT_EQ(status->lastModified.load(), 1500u);
    EXPECT_EQ(m_monitor.getChecksumCount(), 1u);

    // Really changed: outdated, reported once, checksummed once however many
    // passes follow.
    m_files.write("wheel.stp", "edited", 1600);
    pass(3);
    EXPECT_EQ(reported(), QList<uint>{wheel.id()});
    EXPECT_EQ(status->state.load(), FileState::Outdated);
    EXPECT_EQ(status->lastModified.load(), 1500u) << "the recorded checksum still belongs to the old time";
    EXPECT_EQ(m_monitor.getChecksumCount(), 2u);

    m_files.write("wheel.stp", "original", 1700);
    pass(2);
    EXPECT_EQ(reported(), QList<uint>{wheel.id()});
    EXPECT_EQ(status->state.load(), FileState::UpToDate);
    EXPECT_EQ(m_monitor.getChecksumCount(), 3u);
}

TEST_F(UpdateMonitorTest, RecordWithoutChecksumTakesTheFirstOne)
{
    osg::FileReferenceRefPtr record = makeRecord(m_files.write("hood.zmb", "content", 2000), FileState::Outdated);
    record->setChecksum(0);
    record->setLastModified(0);
    const Reference hood(record);

    pass();
    EXPECT_EQ(reported(), QList<uint>{hood.id()});
    EXPECT_EQ(hood.smartStatus()->state.load(), FileState::UpToDate);
    EXPECT_EQ(hood.smartStatus()->checksum.load(), ksFile::getChecksum(m_files.path("hood.zmb")));
    EXPECT_EQ(hood.smartStatus()->lastModified.load(), 2000u);

    m_files.write("hood.zmb", "content changed", 2001);
    pass();
    EXPECT_EQ(hood.smartStatus()->state.load(), FileState::Outdated);
}

TEST_F(UpdateMonitorTest, OnePassReportsEachChangedCoreOnceAndSkipsRecordsWithoutPath)
{
    const Reference both(makeRecord(m_files.write("a.zmb", "a", 100)), makeRecord(m_files.write("a.stp", "a", 100)));
    const Reference steady(makeRecord(m_files.write("b.zmb", "b", 100)));
    const Reference onlySource({}, makeRecord(m_files.write("c.stp", "c", 100)));
    // Records that name no file: neither examined nor reported.
    const Reference unset(makeRecord(QString()), makeRecord(m_files.path("absent.stp"), FileState::NoPath));
    const Reference bare({}, {});

    m_files.remove("a.zmb");
    m_files.remove("a.stp");
    m_files.remove("c.stp");
    pass();
    ASSERT_EQ(m_reports.size(), 1) << "one signal per pass";
    EXPECT_EQ(reported(), sorted({both.id(), onlySource.id()}));
    EXPECT_EQ(both.smartStatus()->state.load(), FileState::Missing);
    EXPECT_EQ(both.sourceStatus()->state.load(), FileState::Missing);
    EXPECT_EQ(steady.smartStatus()->state.load(), FileState::UpToDate);
    EXPECT_EQ(unset.sourceStatus()->state.load(), FileState::NoPath);
}

TEST_F(UpdateMonitorTest, NewerRevisionBesideTheFileMakesItOutdated)
{
    m_files.write("door_v1.zmb", "one", 100);
    const Reference door(makeRecord(m_files.write("door_v3.zmb", "three", 300)));
    const Reference newest(makeRecord(m_files.write("door_v12.zmb", "twelve", 1200)));
    m_monitor.setRevisionExpressions({"_V(\\d+)"});

    pass();
    EXPECT_TRUE(reported().isEmpty()) << "revision checks are off";

    m_monitor.setRevisionCheckEnabled(true);
    pass();
    EXPECT_EQ(reported(), QList<uint>{door.id()});
    EXPECT_EQ(door.smartStatus()->state.load(), FileState::Outdated);
    EXPECT_EQ(newest.smartStatus()->state.load(), FileState::UpToDate) << "12 is newer than 3 by number";
    EXPECT_EQ(m_monitor.getChecksumCount(), 0u) << "unchanged content is not read";

    // Every pass lists the directory afresh.
    m_files.remove("door_v12.zmb");
    pass();
    EXPECT_EQ(reported(), sorted({door.id(), newest.id()}));
    EXPECT_EQ(door.smartStatus()->state.load(), FileState::UpToDate);

    // A path that the expressions give no revision has no newer one.
    m_monitor.setRevisionExpressions({"_rev(\\d+)"});
    m_files.write("door_v20.zmb", "twenty", 2000);
    pass();
    EXPECT_EQ(door.smartStatus()->state.load(), FileState::UpToDate);
}

TEST_F(UpdateMonitorTest, ZeroIntervalRunsQuietPassesBackToBack)
{
    const Reference steady(makeRecord(m_files.write("steady.zmb", "x", 500)));
    m_monitor.setInterval(0);
    m_monitor.start();
    // With any wait between passes this would take minutes.
    ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() >= 50; }));
    m_monitor.stop();
    EXPECT_TRUE(m_reports.isEmpty()) << "nothing changed, nothing reported";
}

TEST_F(UpdateMonitorTest, PausesNestAndTheLastResumeStartsAFreshPass)
{
    m_monitor.start();
    m_monitor.start();
    ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 1; }));
    m_monitor.setPaused(true);
    m_monitor.setPaused(true);
    m_monitor.setPaused(false);
    EXPECT_TRUE(m_monitor.isPaused());
    EXPECT_FALSE(m_monitor.isRunning());

    m_monitor.setPaused(false);
    EXPECT_FALSE(m_monitor.isPaused());
    EXPECT_TRUE(m_monitor.isRunning());
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 2; })) << "no wait before the first pass";

    // The expressions change while no thread runs; it runs on afterwards.
    m_monitor.setRevisionExpressions({"_v(\\d+)"});
    EXPECT_TRUE(m_monitor.isRunning());
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 3; }));

    // A resume without a pause counts below zero: one pause then leaves the
    // thread running.
    m_monitor.setPaused(false);
    m_monitor.setPaused(true);
    EXPECT_TRUE(m_monitor.isRunning());
}

TEST_F(UpdateMonitorTest, StopWhilePausedLeavesTheMonitorStopped)
{
    m_monitor.start();
    m_monitor.setPaused(true);
    m_monitor.stop();
    m_monitor.stop();
    EXPECT_FALSE(m_monitor.isStarted());
    // Resuming a stopped monitor launches nothing; neither do expressions.
    m_monitor.setPaused(false);
    m_monitor.setRevisionExpressions({"_v(\\d+)"});
    EXPECT_FALSE(m_monitor.isRunning());

    // Started while paused: the thread waits for the resume.
    m_monitor.setPaused(true);
    m_monitor.start();
    m_monitor.setRevisionExpressions({"_r(\\d+)"});
    EXPECT_TRUE(m_monitor.isStarted());
    EXPECT_FALSE(m_monitor.isRunning());
    const std::uint64_t before = m_monitor.getPassCount();
    m_monitor.setPaused(false);
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() > before; }));
}

TEST(UpdateMonitorLifetime, DestroyingARunningMonitorEndsItsThread)
{
    ensurePoolHooks();
    const TestFiles files;
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

} // namespace
