// Licensed under the MIT licence; see LICENSE.
// The update monitor against the pool's status records and real files: what
// a pass writes into the records, what it reports, how often it checksums,
// and how start, stop and nested pauses drive its thread.
#include "UpdateMonitorSupport.h"

#include "monitor/ksReferenceUpdateMonitor.h"

#include <QObject>

#include <algorithm>
#include <memory>

using namespace updatemonitortest;

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
                             // Queued: the main thread applies the results.
                             EXPECT_EQ(QThread::currentThread(), m_receiver.thread());
                             m_reports.append(ids);
                         });
    }

    void TearDown() override { m_monitor.stop(); }

    // Exactly one fresh pass: a started thread runs one at once, then waits
    // for the hour-long interval until stop() cuts the wait short.
    void pass()
    {
        m_monitor.stop();
        const std::uint64_t before = m_monitor.getPassCount();
        m_monitor.start();
        ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() > before; }));
    }

    // Runs `count` passes back to back.
    void passes(int count)
    {
        for (int i = 0; i < count; ++i)
            pass();
    }

    // Every id reported since the last call, sorted: a pass walks the
    // snapshot in no particular order.
    QList<uint> takeReports()
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
    const QString file = m_files.write("door.zmb", "first", 1000);
    const Reference door = Reference::smart(recordOf(file));
    const ksFileReferenceStatusPtr status = door.smartStatus();

    pass();
    EXPECT_TRUE(takeReports().isEmpty());
    EXPECT_EQ(status->state.load(), ksReferenceTypes::UpToDate);
    EXPECT_EQ(m_monitor.getChecksumCount(), 0u) << "the recorded time matched: no checksum";

    TestFiles::remove(file);
    pass();
    EXPECT_EQ(takeReports(), QList<uint>{door.id()});
    EXPECT_EQ(status->state.load(), ksReferenceTypes::Missing);
    EXPECT_EQ(status->lastModified.load(), 0u);
    EXPECT_EQ(status->lastChecked.load(), 0u);
    pass();
    EXPECT_TRUE(takeReports().isEmpty()) << "still missing is no change";

    // Same content, and even the same time as before: the reset time forces
    // a checksum.
    m_files.write("door.zmb", "first", 1000);
    pass();
    EXPECT_EQ(takeReports(), QList<uint>{door.id()});
    EXPECT_EQ(status->state.load(), ksReferenceTypes::UpToDate);
    EXPECT_EQ(status->lastModified.load(), 1000u);
    EXPECT_EQ(m_monitor.getChecksumCount(), 1u);

    TestFiles::remove(file);
    pass();
    m_files.write("door.zmb", "second", 1000);
    pass();
    EXPECT_EQ(takeReports(), (QList<uint>{door.id(), door.id()}));
    EXPECT_EQ(status->state.load(), ksReferenceTypes::Outdated);
    EXPECT_EQ(m_monitor.getChecksumCount(), 2u);
}

TEST_F(UpdateMonitorTest, ContentIsChecksummedOncePerNewModificationTime)
{
    const QString file = m_files.write("wheel.stp", "original", 1000);
    const Reference wheel = Reference::source(recordOf(file));
    const ksFileReferenceStatusPtr status = wheel.sourceStatus();

    // Touched only: one checksum, and the new time becomes the recorded one.
    TestFiles::setModified(file, 1500);
    passes(3);
    EXPECT_TRUE(takeReports().isEmpty());
    EXPECT_EQ(status->state.load(), ksReferenceTypes::UpToDate);
    EXPECT_EQ(status->lastModified.load(), 1500u);
    EXPECT_EQ(m_monitor.getChecksumCount(), 1u);

    // Really changed: outdated, reported once, checksummed once.
    m_files.write("wheel.stp", "edited", 1600);
    passes(3);
    EXPECT_EQ(takeReports(), QList<uint>{wheel.id()});
    EXPECT_EQ(status->state.load(), ksReferenceTypes::Outdated);
    EXPECT_EQ(status->lastModified.load(), 1500u) << "the recorded checksum still belongs to the old time";
    EXPECT_EQ(status->lastChecked.load(), 1600u);
    EXPECT_EQ(m_monitor.getChecksumCount(), 2u);

    // Changed back: up to date again by content.
    m_files.write("wheel.stp", "original", 1700);
    passes(2);
    EXPECT_EQ(takeReports(), QList<uint>{wheel.id()});
    EXPECT_EQ(status->state.load(), ksReferenceTypes::UpToDate);
    EXPECT_EQ(status->lastModified.load(), 1700u);
    EXPECT_EQ(m_monitor.getChecksumCount(), 3u);
}

TEST_F(UpdateMonitorTest, RecordWithoutChecksumTakesTheFirstOne)
{
    const QString file = m_files.write("hood.zmb", "content", 2000);
    const Reference hood = Reference::smart(Record{file, ksReferenceTypes::Outdated, 0, 0});
    const ksFileReferenceStatusPtr status = hood.smartStatus();

    pass();
    EXPECT_EQ(takeReports(), QList<uint>{hood.id()});
    EXPECT_EQ(status->state.load(), ksReferenceTypes::UpToDate);
    EXPECT_EQ(status->checksum.load(), TestFiles::checksum(file));
    EXPECT_EQ(status->lastModified.load(), 2000u);

    m_files.write("hood.zmb", "content changed", 2001);
    pass();
    EXPECT_EQ(takeReports(), QList<uint>{hood.id()});
    EXPECT_EQ(status->state.load(), ksReferenceTypes::Outdated);
}

TEST_F(UpdateMonitorTest, StatusesWithoutPathAreNotExamined)
{
    const Reference empty(nullptr, nullptr);
    const Record noPath{m_files.path("absent.stp"), ksReferenceTypes::NoPath, 0, 0};
    const Record blank{QString(), ksReferenceTypes::UpToDate, 0, 0};
    const Reference unset(&blank, &noPath);

    passes(2);
    EXPECT_TRUE(takeReports().isEmpty());
    EXPECT_EQ(unset.sourceStatus()->state.load(), ksReferenceTypes::NoPath) << "its file is absent, but it names none";
    EXPECT_EQ(unset.smartStatus()->state.load(), ksReferenceTypes::UpToDate);
    EXPECT_EQ(empty.smartStatus()->state.load(), ksReferenceTypes::UpToDate);
}

TEST_F(UpdateMonitorTest, OnePassReportsEachChangedCoreOnce)
{
    const QString smartFile = m_files.write("a.zmb", "a", 100);
    const QString sourceFile = m_files.write("a.stp", "a", 100);
    const Record smart = recordOf(smartFile);
    const Record source = recordOf(sourceFile);
    const Reference both(&smart, &source);
    const Reference steady = Reference::smart(recordOf(m_files.write("b.zmb", "b", 100)));
    const Reference onlySource = Reference::source(recordOf(m_files.write("c.stp", "c", 100)));

    TestFiles::remove(smartFile);
    TestFiles::remove(sourceFile);
    TestFiles::remove(m_files.path("c.stp"));
    pass();
    ASSERT_EQ(m_reports.size(), 1) << "one signal per pass";
    EXPECT_EQ(takeReports(), sorted({both.id(), onlySource.id()}));
    EXPECT_EQ(both.smartStatus()->state.load(), ksReferenceTypes::Missing);
    EXPECT_EQ(both.sourceStatus()->state.load(), ksReferenceTypes::Missing);
    EXPECT_EQ(steady.smartStatus()->state.load(), ksReferenceTypes::UpToDate);
}

TEST_F(UpdateMonitorTest, NewerRevisionBesideTheFileMakesItOutdated)
{
    const QString v3 = m_files.write("door_v3.zmb", "three", 300);
    const QString v12 = m_files.write("door_v12.zmb", "twelve", 1200);
    m_files.write("door_v1.zmb", "one", 100);
    const Reference door = Reference::smart(recordOf(v3));
    const Reference newest = Reference::smart(recordOf(v12));
    m_monitor.setRevisionExpressions({"_V(\\d+)"});

    pass();
    EXPECT_TRUE(takeReports().isEmpty()) << "revision checks are off";

    m_monitor.setRevisionCheckEnabled(true);
    pass();
    EXPECT_EQ(takeReports(), QList<uint>{door.id()});
    EXPECT_EQ(door.smartStatus()->state.load(), ksReferenceTypes::Outdated);
    EXPECT_EQ(newest.smartStatus()->state.load(), ksReferenceTypes::UpToDate) << "12 is newer than 3 by number";
    EXPECT_EQ(m_monitor.getChecksumCount(), 0u) << "unchanged content is not read";

    // Every pass lists the directory afresh.
    TestFiles::remove(v12);
    pass();
    EXPECT_EQ(takeReports(), sorted({door.id(), newest.id()}));
    EXPECT_EQ(door.smartStatus()->state.load(), ksReferenceTypes::UpToDate);
    EXPECT_EQ(newest.smartStatus()->state.load(), ksReferenceTypes::Missing);

    // A path without a revision tag has no newer revision.
    m_monitor.setRevisionExpressions({"_rev(\\d+)"});
    m_files.write("door_v20.zmb", "twenty", 2000);
    pass();
    EXPECT_EQ(door.smartStatus()->state.load(), ksReferenceTypes::UpToDate);
}

TEST_F(UpdateMonitorTest, ZeroIntervalRunsQuietPassesBackToBack)
{
    const Reference steady = Reference::smart(recordOf(m_files.write("steady.zmb", "x", 500)));
    m_monitor.setInterval(0);
    EXPECT_EQ(m_monitor.getInterval(), 0);
    m_monitor.start();
    // With any wait between passes this would take minutes.
    ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() >= 50; }));
    m_monitor.stop();
    EXPECT_TRUE(m_reports.isEmpty()) << "nothing changed, nothing reported";
    EXPECT_EQ(m_monitor.getChecksumCount(), 0u);
}

TEST_F(UpdateMonitorTest, PausesNestAndTheLastResumeStartsAFreshPass)
{
    m_monitor.start();
    ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 1; }));
    m_monitor.setPaused(true);
    m_monitor.setPaused(true);
    EXPECT_TRUE(m_monitor.isPaused());
    EXPECT_FALSE(m_monitor.isRunning());

    m_monitor.setPaused(false);
    EXPECT_TRUE(m_monitor.isPaused());
    EXPECT_FALSE(m_monitor.isRunning());

    m_monitor.setPaused(false);
    EXPECT_FALSE(m_monitor.isPaused());
    EXPECT_TRUE(m_monitor.isRunning());
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 2; })) << "no wait before the first pass";

    // The expressions change only while no thread runs; the monitor runs on
    // afterwards.
    m_monitor.setRevisionExpressions({"_v(\\d+)"});
    EXPECT_FALSE(m_monitor.isPaused());
    EXPECT_TRUE(m_monitor.isRunning());
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 3; }));
}

TEST_F(UpdateMonitorTest, StopWhilePausedLeavesTheMonitorStopped)
{
    m_monitor.start();
    m_monitor.setPaused(true);
    m_monitor.stop();
    EXPECT_FALSE(m_monitor.isStarted());
    EXPECT_FALSE(m_monitor.isRunning());

    // Resuming a stopped monitor launches nothing; neither do expressions.
    m_monitor.setPaused(false);
    m_monitor.setRevisionExpressions({"_v(\\d+)"});
    EXPECT_FALSE(m_monitor.isRunning());

    // Paused before the start: the thread waits for the resume.
    m_monitor.setPaused(true);
    m_monitor.start();
    EXPECT_TRUE(m_monitor.isStarted());
    EXPECT_FALSE(m_monitor.isRunning());
    m_monitor.setRevisionExpressions({"_r(\\d+)"});
    EXPECT_FALSE(m_monitor.isRunning()) << "changing expressions does not end a pause";
    const std::uint64_t before = m_monitor.getPassCount();
    m_monitor.setPaused(false);
    EXPECT_TRUE(m_monitor.isRunning());
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() > before; }));
}

TEST_F(UpdateMonitorTest, StartAndStopAreIdempotent)
{
    m_monitor.start();
    m_monitor.start();
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 1; }));
    m_monitor.stop();
    m_monitor.stop();
    EXPECT_FALSE(m_monitor.isRunning());
    // A resume without a pause counts below zero; start still launches.
    m_monitor.setPaused(false);
    EXPECT_FALSE(m_monitor.isPaused());
    m_monitor.start();
    EXPECT_TRUE(m_monitor.isRunning());
    m_monitor.setPaused(true);
    EXPECT_TRUE(m_monitor.isRunning()) << "the count is back at zero only";
    m_monitor.setPaused(true);
    EXPECT_FALSE(m_monitor.isRunning());
}

TEST(UpdateMonitorLifetime, DestroyingARunningMonitorEndsItsThread)
{
    ensurePoolHooks();
    TestFiles files;
    const Reference door = Reference::smart(recordOf(files.write("door.zmb", "x", 10)));
    files.remove(files.path("door.zmb"));
    for (int round = 0; round < 20; ++round) {
        auto monitor = std::make_unique<ksReferenceUpdateMonitor>();
        monitor->setInterval(0);
        monitor->start();
        if (round % 2)
            QThread::usleep(200);
        monitor.reset();
    }
    // Whatever the destroyed monitors posted goes nowhere.
    QCoreApplication::sendPostedEvents();
}

} // namespace
