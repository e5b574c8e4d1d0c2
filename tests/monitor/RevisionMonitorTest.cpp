// Licensed under the MIT licence; see LICENSE.
// Revisions of a file by name: the revision an expression gives, wildcard
// paths, sorting, the per-thread listing cache, and a directory listing that
// must equal Qt's.
#include "monitor/ksDirectoryListing.h"
#include "monitor/ksRevisionMonitor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens the protected members to the tests.
class ExposedRevisionMonitor : public ksRevisionMonitor
{
public:
    using ksRevisionMonitor::getDirEntries;
    using ksRevisionMonitor::getWildcardFiles;
    using ksRevisionMonitor::getWildcardPath;
};

// A fresh temporary directory per test; every test starts a new cache series.
class RevisionMonitorFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ksRevisionMonitor::clearCache();
        m_monitor.setExpressions({"_v(\\d+)"});
    }

    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    // Creates an empty file, and its directories when needed.
    QString touch(const QString& relative) const
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << file.toStdString();
        return file;
    }

    QTemporaryDir m_dir;
    ExposedRevisionMonitor m_monitor;
};

QString revisionOf(const QStringList& expressions, const QString& path)
{
    ksRevisionMonitor monitor;
    monitor.setExpressions(expressions);
    return monitor.getRevision(path);
}

QSet<QString> qtListing(const QString& dir, const QString& filter)
{
    const QStringList names = QDir(dir).entryList(QStringList{filter}, QDir::NoFilter, QDir::NoSort);
    return QSet<QString>(names.begin(), names.end());
}

// Qt warns once per name when a filter does not compile; the tests use such filters.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

TEST(RevisionMonitorRevision, GroupsGiveTheRevisionInKeyOrder)
{
    EXPECT_EQ(revisionOf({"_v\\d+"}, "/p/door_v3.zmb"), "") << "no capture group";
    EXPECT_EQ(revisionOf({"_V(\\d+)"}, "/p/door_v3.zmb"), "3") << "case-insensitive";
    EXPECT_EQ(revisionOf({"_v(\\w+)\\."}, "/p/tür_vä1.zmb"), "ä1") << "Unicode properties";
    EXPECT_EQ(revisionOf({"_v(?<minor>\\d+)\\.(?<major>\\d+)"}, "/p/door_v2.7.zmb"), "72");
    EXPECT_EQ(revisionOf({"_(\\w)(?<rev>\\d+)"}, "/p/door_a12"), "12a") << "named before unnamed";
    // Eleven unnamed groups: the keys |10 and |11 sort before |2.
    EXPECT_EQ(revisionOf({"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)"}, "abcdefghijk"), "ajkbcdefghi");
    // The first expression that matches decides; one that does not compile never does.
    EXPECT_EQ(revisionOf({"(", "_rev(\\d+)", "_v(\\d+)"}, "/p/door_v3.zmb"), "3");
    EXPECT_EQ(revisionOf({"_rev(\\d+)", "_v(\\d+)"}, "/p/door_rev4_v3.zmb"), "4");
}

TEST(RevisionMonitorRevision, SortIsNumericOnlyForOneSharedPrefix)
{
    const std::pair<QStringList, QStringList> table[] = {
        {{"r9", "r10", "r2"}, {"r2", "r9", "r10"}},
        {{"r01", "r1"}, {"r1", "r01"}},
        {{"r2", "s10", "r10"}, {"r10", "r2", "s10"}},
        {{"a+10", "a+9"}, {"a+9", "a+10"}},   // the prefix is taken literally
        {{"R10", "r9"}, {"R10", "r9"}},       // and case-sensitively
    };
    for (const auto& row : table)
        EXPECT_EQ(ksRevisionMonitor::sortRevision(row.first), row.second) << row.first.join(',').toStdString();

    ksRevisionMonitor monitor;
    EXPECT_EQ(monitor.getNewestRevision({}), "");
    EXPECT_EQ(monitor.getNewestRevision({"r9", "r10", "r2"}), "r10");
}

TEST_F(RevisionMonitorFixture, WildcardsInDirectoriesListEveryLevel)
{
    const QString p1 = touch("base/proj_v1/door.zmb");
    const QString p2 = touch("base/proj_v2/door.zmb");
    QDir().mkpath(path("base/proj_v3"));
    touch("base/proj_v4");
    EXPECT_EQ(m_monitor.findRevisions(p2), (QMap<QString, QString>{{"1", p1}, {"2", p2}}));

    const QString r11 = touch("tree/proj_v1/door_r1.zmb");
    const QString r12 = touch("tree/proj_v1/door_r2.zmb");
    const QString r21 = touch("tree/proj_v2/door_r1.zmb");
    m_monitor.setExpressions({"proj_v(\\d+)/door_r(\\d+)"});
    EXPECT_EQ(m_monitor.findRevisions(r21), (QMap<QString, QString>{{"11", r11}, {"12", r12}, {"21", r21}}));

    // Only '*' makes a component a pattern; the last literal one must exist.
    const QString question = touch("door?.zmb");
    touch("doorX.zmb");
    EXPECT_EQ(m_monitor.getWildcardFiles(question), QStringList{question});
    EXPECT_TRUE(m_monitor.getWildcardFiles(path("missing.zmb")).isEmpty());
}

// Within a series a (directory, pattern) pair is listed once; a pair new to
// the series is listed afresh, even when the directory was read before.
TEST_F(RevisionMonitorFixture, FindsSiblingsListingEachPatternOncePerSeriesAndThread)
{
    const QString v1 = touch("door_v1.zmb");
    const QString v12 = touch("DOOR_V12.ZMB");
    touch("door_v2.txt");
    const std::uint64_t reads = ksDirectoryListing::threadReadCount();
    // Case-insensitively; the file itself need not exist.
    EXPECT_EQ(m_monitor.findRevisions(path("door_v7.zmb")), (QMap<QString, QString>{{"1", v1}, {"12", v12}}));
    ExposedRevisionMonitor bare;
    EXPECT_TRUE(bare.findRevisions(v1).isEmpty()) << "no expressions, no revisions";
    EXPECT_EQ(bare.getRevision(v1), "");
    EXPECT_EQ(bare.getWildcardPath(v1), v1);

    touch("door_v3.zmb");
    const QString window = touch("window_v1.zmb");
    EXPECT_EQ(m_monitor.findRevisions(path("window_v1.zmb")), (QMap<QString, QString>{{"1", window}}))
        << "a new pattern sees the files made since the directory was last read";
    EXPECT_EQ(m_monitor.findRevisions(v1).size(), 2) << "a pattern listed in this series is not read again";
    EXPECT_EQ(ksDirectoryListing::threadReadCount() - reads, 2u);

    int seenElsewhere = 0;
    std::thread other([&] {
        ksRevisionMonitor own;
        own.setExpressions({"_v(\\d+)"});
        seenElsewhere = own.findRevisions(v1).size();
    });
    other.join();
    EXPECT_EQ(seenElsewhere, 3);
    EXPECT_EQ(m_monitor.findRevisions(v1).size(), 2) << "the other thread left this cache alone";

    ksRevisionMonitor::clearCache();
    EXPECT_EQ(m_monitor.findRevisions(v1).size(), 3);
    EXPECT_EQ(ksDirectoryListing::threadReadCount() - reads, 3u);
}

// base/
//   names of mixed case, non-ASCII, spaces, brackets, dots, control characters,
//   hidden files and a hidden directory, subdirectories, one name that is not UTF-8,
//   a symlink to a file, to a directory, to a fifo; a broken and a looping symlink; a fifo
TEST_F(RevisionMonitorFixture, ListingEqualsQtsListing)
{
    const char* names[] = {"door_v1.zmb", "Door_V2.ZMB", "DOOR_v10.zmb", "Tür_V2.zmb", "ÄRGER_v1.zmb",
                           "ärger_v2.zmb", "πόρτα_v1.zmb", "ΠΌΡΤΑ_v2.zmb", "🚪_v1.zmb", "door v3 [old].zmb",
                           "a*b", "a\\b", "x.y.z", "door.", "K_kelvin", "\u212A_kelvin", "\u017Ftraße",
                           "STRASSE", "ß", "\u1E9E", "\u0130i", "ab]c", "a{b}+(c)|$^", "new\nline", "b",
                           ".hidden_v1.zmb", "..dots", "door_v1.zmb~"};
    for (const char* name : names)
        touch(QString::fromUtf8(name));
    QDir().mkpath(path("subdir_v1"));
    QDir().mkpath(path(".hiddendir"));
    const QByteArray base = QFile::encodeName(m_dir.path()) + '/';
    ::close(::open((base + "bad\xff_v1.zmb").constData(), O_CREAT | O_WRONLY, 0644));
    ASSERT_EQ(::symlink("door_v1.zmb", base + "link_v1.zmb"), 0);
    ASSERT_EQ(::symlink("subdir_v1", base + "linkdir_v2"), 0);
    ASSERT_EQ(::symlink("nowhere", base + "broken_v1.zmb"), 0);
    ASSERT_EQ(::symlink("loop_v1", base + "loop_v1"), 0);
    ASSERT_EQ(::mkfifo(base + "fifo_v1.zmb", 0644), 0);
    ASSERT_EQ(::symlink("fifo_v1.zmb", base + "linkfifo_v1.zmb"), 0);

    const QtMessageHandler previous = qInstallMessageHandler(quiet);
    const QStringList filters{
        "*", "*.zmb", "door_v*.ZMB", "?oor*", "[dD]oor*", "*_v*", "?", "??", ".*", "*.", "*[*", "[",
        "[!a]", "[^a]*", "[]]*", "a\\*", "a{b}+(c)|$^", "TÜR*", "ärger*", "πόρτα*", "*🚪*", "k*", "s*",
        "ß", "i*", "[a-z]_*", "[[:alpha:]]*", "new*", "*~", "link*", "*fifo*", "loop*", "bad*", "*dir*", ""};
    for (const QString& filter : filters)
        EXPECT_EQ(m_monitor.getDirEntries(m_dir.path(), filter), qtListing(m_dir.path(), filter)) << filter.toStdString();
    qInstallMessageHandler(previous);
    ::unlink((base + "bad\xff_v1.zmb").constData()); // Qt cannot name it, so cannot remove it

    EXPECT_TRUE(m_monitor.getDirEntries(path("door_v1.zmb"), "*").isEmpty()) << "a file is no directory";
    EXPECT_TRUE(m_monitor.getDirEntries(path("missing"), "*").isEmpty());
}

} // namespace
