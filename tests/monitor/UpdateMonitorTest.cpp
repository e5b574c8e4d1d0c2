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

TEST_F(UpdateMonitorTest, ContentIsChecksummedOncePerNewTimeAndARestoredFileAgain)
{
    const QString file = m_files.write("door.zmb", "original", 1000);
    const Reference door(makeRecord(file));
    const ksFileReferenceStatusPtr status = door.smartStatus();
    pass();
    EXPECT_TRUE(reported().isEmpty());
    EXPECT_EQ(m_monitor.getChecksumCount(), 0u) << "the recorded time matched";

    // Touched only: one checksum, and the new time becomes the recorded one.
    TestFiles::touch(file, 1500);
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
    const Reference unset(makeRecord(QString()), makeRecord(m_files.path("absent.stp"), FileState::NoPath));
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
    EXPECT_EQ(reported(), sorted({both.id(), hood.id()}));
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
    m_monitor.start();
    m_monitor.start();
    ASSERT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 1; }));
    m_monitor.setPaused(true);
    m_monitor.setPaused(true);
    m_monitor.setPaused(false);
    EXPECT_TRUE(m_monitor.isPaused());
    EXPECT_FALSE(m_monitor.isRunning());
    m_monitor.setPaused(false);
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

    // Stopped while paused: resuming or new expressions launch nothing.
    m_monitor.setPaused(true);
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
    EXPECT_TRUE(waitUntil([&] { return m_monitor.getPassCount() == 4; }));
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
