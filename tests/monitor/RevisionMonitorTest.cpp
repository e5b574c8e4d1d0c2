// Licensed under the MIT licence; see LICENSE.
// Revisions of a file by name: the revision an expression gives, wildcard
// paths, sorting, the per-thread listing cache, and a directory listing that
// must equal Qt's.
#include "monitor/ksDirectoryListing.h"
#include "monitor/ksDirectoryListingFilter.h"
#include "monitor/ksRevisionMonitor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Opens the protected members to the tests.
class ExposedRevisionMonitor : public ksRevisionMonitor
{
public:
    using ksRevisionMonitor::getDirEntries;
    using ksRevisionMonitor::getWildcardFiles;
    using ksRevisionMonitor::getWildcardPath;
    using ksRevisionMonitor::setCache;
};

// A fresh temporary directory per test; every test starts a new cache series.
class RevisionMonitorFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ksRevisionMonitor::clearCache();
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
};

QString revisionOf(const QStringList& expressions, const QString& path)
{
    ksRevisionMonitor monitor;
    monitor.setExpressions(expressions);
    return monitor.getRevision(path);
}

QStringList sorted(const QStringList& revisions)
{
    return ksRevisionMonitor::sortRevision(revisions);
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
    EXPECT_EQ(revisionOf({}, "/p/door_v3.zmb"), "");
    EXPECT_EQ(revisionOf({"_v\\d+"}, "/p/door_v3.zmb"), "") << "no capture group";
    EXPECT_EQ(revisionOf({"_V(\\d+)"}, "/p/door_v3.zmb"), "3") << "case-insensitive";
    EXPECT_EQ(revisionOf({"_v(\\w+)\\."}, "/p/tür_vä1.zmb"), "ä1") << "Unicode properties";
    EXPECT_EQ(revisionOf({"_v(?<major>\\d+)\\.(?<minor>\\d+)"}, "/p/door_v2.7.zmb"), "27");
    EXPECT_EQ(revisionOf({"_v(?<minor>\\d+)\\.(?<major>\\d+)"}, "/p/door_v2.7.zmb"), "72");
    EXPECT_EQ(revisionOf({"_(\\w)(?<rev>\\d+)"}, "/p/door_a12"), "12a") << "named before unnamed";
    // Eleven unnamed groups: the keys |10 and |11 sort before |2.
    EXPECT_EQ(revisionOf({"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)"}, "abcdefghijk"), "ajkbcdefghi");
    // The first expression that matches decides; one that does not compile never does.
    EXPECT_EQ(revisionOf({"(", "_rev(\\d+)", "_v(\\d+)"}, "/p/door_v3.zmb"), "3");
    EXPECT_EQ(revisionOf({"_rev(\\d+)", "_v(\\d+)"}, "/p/door_rev4_v3.zmb"), "4");
}

TEST(RevisionMonitorRevision, WildcardPathReplacesEveryCapturedPart)
{
    ExposedRevisionMonitor monitor;
    EXPECT_EQ(monitor.getWildcardPath("/p/door_v12.zmb"), "/p/door_v12.zmb");

    const std::pair<const char*, const char*> cases[] = {
        {"/p/door_v12.zmb", "/p/door_v*.zmb"},
        {"/p/door_12.345.zmb", "/p/door_*.*.zmb"},
        {"/p/door_v.zmb", "/p/door_v*.zmb"},       // empty capture: '*' inserted
        {"/p/door_r4.zmb", "/p/door_r*.zmb"},      // group 1 took no part
        {"/base/proj_v2/door_v3.zmb", "/base/proj_v*/door_v3.zmb"}, // first match only
    };
    monitor.setExpressions({"(\\d+)\\.(\\d+)\\.zmb", "_v(\\d*)|_r(\\d+)"});
    for (const auto& c : cases)
        EXPECT_EQ(monitor.getWildcardPath(c.first), c.second) << c.first;
}

TEST(RevisionMonitorRevision, SortIsNumericOnlyForOneSharedPrefix)
{
    const std::pair<QStringList, QStringList> table[] = {
        {{}, {}},
        {{"r9", "r10", "r2"}, {"r2", "r9", "r10"}},
        {{"b", "a", "c"}, {"a", "b", "c"}},
        {{"r01", "r1"}, {"r1", "r01"}},
        {{"r2", "s10", "r10"}, {"r10", "r2", "s10"}},
        {{"10", "9", "100"}, {"9", "10", "100"}},
        {{"a+10", "a+9"}, {"a+9", "a+10"}},   // the prefix is taken literally
        {{"R10", "r9"}, {"R10", "r9"}},       // and case-sensitively
    };
    for (const auto& row : table)
        EXPECT_EQ(sorted(row.first), row.second) << row.first.join(',').toStdString();

    ksRevisionMonitor monitor;
    EXPECT_EQ(monitor.getNewestRevision({}), "");
    EXPECT_EQ(monitor.getNewestRevision({"r9", "r10", "r2"}), "r10");
}

TEST(RevisionMonitorRevision, CopyAndMoveCarryTheExpressions)
{
    ksRevisionMonitor original;
    original.setExpressions({"_v(\\d+)"});

    ksRevisionMonitor copy(original);
    original.setExpressions({"_r(\\d+)"});
    EXPECT_EQ(copy.getRevision("door_v3"), "3");
    EXPECT_EQ(original.getRevision("door_v3"), "");

    ksRevisionMonitor moved(std::move(copy));
    EXPECT_EQ(moved.getRevision("door_v3"), "3");
    EXPECT_EQ(copy.getRevision("door_v3"), ""); // NOLINT(bugprone-use-after-move)

    ksRevisionMonitor assigned;
    assigned = moved;
    ksRevisionMonitor& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned.getRevision("door_v3"), "3");
    EXPECT_EQ(moved.getRevision("door_v3"), "3");

    ksRevisionMonitor target;
    target.setExpressions({"_r(\\d+)"});
    target = std::move(moved);
    EXPECT_EQ(target.getRevision("door_v3"), "3");
    EXPECT_EQ(target.getRevision("door_r4"), "");
    EXPECT_EQ(moved.getRevision("door_v3"), ""); // NOLINT(bugprone-use-after-move)
}

TEST_F(RevisionMonitorFixture, FindsNumberedSiblingsCaseInsensitively)
{
    const QString v1 = touch("door_v1.zmb");
    const QString v3 = touch("door_v3.zmb");
    const QString v12 = touch("door_v12.zmb");
    const QString v5 = touch("DOOR_V5.ZMB");
    touch("door_v2.txt");
    touch("window_v2.zmb");

    ksRevisionMonitor monitor;
    EXPECT_TRUE(monitor.findRevisions(v3).isEmpty()) << "no expressions, no revisions";

    monitor.setExpressions({"_v(\\d+)"});
    const QMap<QString, QString> expected{{"1", v1}, {"12", v12}, {"3", v3}, {"5", v5}};
    for (const QString& file : {v1, v3, v12, path("door_v7.zmb")})
        EXPECT_EQ(monitor.findRevisions(file), expected) << file.toStdString();
    EXPECT_EQ(monitor.findRevisions(v3).keys(), (QStringList{"1", "12", "3", "5"}));
    EXPECT_EQ(monitor.getNewestRevision(monitor.findRevisions(v3).keys()), "12");
}

TEST_F(RevisionMonitorFixture, WildcardsInDirectoriesListEveryLevel)
{
    const QString p1 = touch("base/proj_v1/door.zmb");
    const QString p2 = touch("base/proj_v2/door.zmb");
    QDir().mkpath(path("base/proj_v3"));
    touch("base/proj_v4");

    ExposedRevisionMonitor monitor;
    monitor.setExpressions({"_v(\\d+)"});
    EXPECT_EQ(monitor.findRevisions(p2), (QMap<QString, QString>{{"1", p1}, {"2", p2}}));

    const QString r11 = touch("tree/proj_v1/door_r1.zmb");
    const QString r12 = touch("tree/proj_v1/door_r2.zmb");
    const QString r21 = touch("tree/proj_v2/door_r1.zmb");
    monitor.setExpressions({"proj_v(\\d+)/door_r(\\d+)"});
    EXPECT_EQ(monitor.findRevisions(r21), (QMap<QString, QString>{{"11", r11}, {"12", r12}, {"21", r21}}));

    // Only '*' makes a component a pattern; the last literal one must exist.
    const QString question = touch("door?.zmb");
    touch("doorX.zmb");
    EXPECT_EQ(monitor.getWildcardFiles(question), QStringList{question});
    EXPECT_TRUE(monitor.getWildcardFiles(path("missing.zmb")).isEmpty());
}

TEST_F(RevisionMonitorFixture, RelativePathsResolveAgainstTheCurrentDirectory)
{
    const QString v1 = touch("door_v1.zmb");
    const QString v2 = touch("door_v2.zmb");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));

    ksRevisionMonitor monitor;
    monitor.setExpressions({"_v(\\d+)"});
    const QMap<QString, QString> found = monitor.findRevisions("door_v1.zmb");
    QDir::setCurrent(previous);
    EXPECT_EQ(found, (QMap<QString, QString>{{"1", v1}, {"2", v2}}));
}

TEST_F(RevisionMonitorFixture, CacheHoldsUntilClearedAndIsPerThread)
{
    const QString v1 = touch("door_v1.zmb");
    touch("door_v2.zmb");
    ksRevisionMonitor monitor;
    monitor.setExpressions({"_v(\\d+)"});
    ASSERT_EQ(monitor.findRevisions(v1).size(), 2);

    touch("door_v3.zmb");
    touch("window_v1.zmb");
    EXPECT_EQ(monitor.findRevisions(v1).size(), 2) << "same series, same listing";
    // The directory was read once for this series, for every pattern.
    EXPECT_TRUE(monitor.findRevisions(path("window_v1.zmb")).isEmpty());

    int seenElsewhere = 0;
    std::thread other([&] {
        ksRevisionMonitor own;
        own.setExpressions({"_v(\\d+)"});
        seenElsewhere = own.findRevisions(v1).size();
    });
    other.join();
    EXPECT_EQ(seenElsewhere, 3);
    EXPECT_EQ(monitor.findRevisions(v1).size(), 2) << "the other thread left this cache alone";

    ksRevisionMonitor::clearCache();
    EXPECT_EQ(monitor.findRevisions(v1).size(), 3);
    EXPECT_EQ(monitor.findRevisions(path("window_v1.zmb")).size(), 1);
}

TEST_F(RevisionMonitorFixture, SubclassesSupplyListings)
{
    struct Scripted : ksRevisionMonitor
    {
        QSet<QString> getDirEntries(const QString& dir, const QString& filter) override
        {
            calls.append(dir + '|' + filter);
            return {"door_v4.zmb", "door_v10.zmb", "readme.txt"};
        }
        QStringList calls;
    } scripted;
    scripted.setExpressions({"_v(\\d+)"});
    EXPECT_EQ(scripted.findRevisions("/virtual/door_v1.zmb"),
              (QMap<QString, QString>{{"10", "/virtual/door_v10.zmb"}, {"4", "/virtual/door_v4.zmb"}}));
    EXPECT_EQ(scripted.calls, QStringList{"/virtual|door_v*.zmb"});

    ExposedRevisionMonitor seeded;
    seeded.setExpressions({"_v(\\d+)"});
    seeded.setCache({{"/virtual/door_v*.zmb", {"door_v7.zmb", "door_v8.zmb"}}});
    EXPECT_EQ(seeded.findRevisions("/virtual/door_v1.zmb").keys(), (QStringList{"7", "8"}));

    bool otherThreadSees = true;
    std::thread other([&] { otherThreadSees = !seeded.getDirEntries("/virtual", "door_v*.zmb").isEmpty(); });
    other.join();
    EXPECT_FALSE(otherThreadSees);

    // A seeded cache also starts a new series: earlier directory reads are gone.
    const QString v1 = touch("door_v1.zmb");
    EXPECT_EQ(seeded.findRevisions(v1).size(), 1);
    touch("door_v2.zmb");
    seeded.setCache({});
    EXPECT_EQ(seeded.findRevisions(v1).size(), 2);
    ksRevisionMonitor::clearCache();
    EXPECT_TRUE(seeded.findRevisions("/virtual/door_v1.zmb").isEmpty());
}

// base/
//   names of mixed case, non-ASCII, spaces, brackets, dots, control characters,
//   hidden files and a hidden directory, subdirectories, one name that is not UTF-8,
//   a symlink to a file, to a directory, to a fifo; a broken and a looping symlink;
//   a fifo and a socket
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
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray sockPath = base + "sock_v1";
    ASSERT_LT(sockPath.size(), int(sizeof(address.sun_path)));
    std::copy(sockPath.begin(), sockPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const QtMessageHandler previous = qInstallMessageHandler(quiet);
    const QStringList filters{
        "*", "*.zmb", "door_v*.ZMB", "?oor*", "[dD]oor*", "*_v*", "?", "??", ".*", "*.", "*[*", "[",
        "[!a]", "[^a]*", "[]]*", "a\\*", "a{b}+(c)|$^", "TÜR*", "ärger*", "πόρτα*", "*🚪*", "k*", "s*",
        "ß", "i*", "[a-z]_*", "[[:alpha:]]*", "new*", "*~", "link*", "*fifo*", "sock*", "loop*", "bad*",
        "*dir*", ""};
    ExposedRevisionMonitor monitor;
    for (const QString& filter : filters) {
        const QSet<QString> expected = qtListing(m_dir.path(), filter);
        EXPECT_EQ(monitor.getDirEntries(m_dir.path(), filter), expected) << filter.toStdString();
    }
    qInstallMessageHandler(previous);
    ::close(sock);
    ::unlink((base + "bad\xff_v1.zmb").constData()); // Qt cannot name it, so cannot remove it

    // The sharpest cases, spelled out.
    const QSet<QString> all = monitor.getDirEntries(m_dir.path(), "*");
    for (const char* in : {".", "..", "link_v1.zmb", "linkdir_v2", "linkfifo_v1.zmb", "subdir_v1", "Tür_V2.zmb"})
        EXPECT_TRUE(all.contains(QString::fromUtf8(in))) << in;
    for (const char* out : {".hidden_v1.zmb", "..dots", ".hiddendir", "broken_v1.zmb", "loop_v1",
                            "fifo_v1.zmb", "sock_v1"})
        EXPECT_FALSE(all.contains(QString::fromUtf8(out))) << out;
}

TEST_F(RevisionMonitorFixture, ListingTakesTheDirectoryAsGiven)
{
    touch("sub/x/a.zmb");
    touch("x/b.zmb");
    ASSERT_TRUE(QFile::link(path("sub/deeper"), path("link")));
    QDir().mkpath(path("sub/deeper"));
    const QString throughLink = path("link/../x");
    ExposedRevisionMonitor monitor;
    EXPECT_EQ(monitor.getDirEntries(throughLink, "*.zmb"), qtListing(throughLink, "*.zmb"));
    EXPECT_EQ(monitor.getDirEntries(throughLink, "*.zmb"), QSet<QString>{"a.zmb"});

    EXPECT_TRUE(monitor.getDirEntries(path("x/b.zmb"), "*").isEmpty());
    EXPECT_TRUE(monitor.getDirEntries(path("missing"), "*").isEmpty());
}

TEST_F(RevisionMonitorFixture, OneSeriesReadsADirectoryOnce)
{
    for (int i = 0; i < 100; ++i) {
        touch(QString("part%1_v1.zmb").arg(i, 3, 10, QChar('0')));
        touch(QString("part%1_v2.zmb").arg(i, 3, 10, QChar('0')));
    }
    ksRevisionMonitor monitor;
    monitor.setExpressions({"_v(\\d+)"});
    const std::uint64_t before = ksDirectoryListing::threadReadCount();
    for (int i = 0; i < 100; ++i) {
        const QString file = path(QString("part%1_v1.zmb").arg(i, 3, 10, QChar('0')));
        ASSERT_EQ(monitor.findRevisions(file).keys(), (QStringList{"1", "2"})) << i;
    }
    EXPECT_EQ(ksDirectoryListing::threadReadCount() - before, 1u);

    ksRevisionMonitor::clearCache();
    monitor.findRevisions(path("part000_v1.zmb"));
    EXPECT_EQ(ksDirectoryListing::threadReadCount() - before, 2u);
}

// The byte-wise matcher must agree with Qt's expression on every ASCII pattern it
// accepts. Random patterns and names over an alphabet of the characters that matter.
TEST(RevisionMonitorFilter, AsciiMatcherAgreesWithQt)
{
    const std::string patternAlphabet = "aAbB.*?*_-\\]{}()+|^$! ~";
    const std::string nameAlphabet = "aAbB._-\\]{}()+|^$! ~\n";
    std::mt19937 random(20240611);
    int matches = 0;
    for (int p = 0; p < 1500; ++p) {
        std::string pattern;
        for (int length = int(random() % 7); length > 0; --length)
            pattern += patternAlphabet[random() % patternAlphabet.size()];
        ksDirectoryListingFilter filter(QString::fromLatin1(pattern.c_str()));
        ASSERT_TRUE(filter.hasAsciiMatcher()) << pattern;
        for (int n = 0; n < 60; ++n) {
            std::string name;
            for (int length = 1 + int(random() % 6); length > 0; --length)
                name += nameAlphabet[random() % nameAlphabet.size()];
            const bool fast = filter.matchAscii(name.data(), name.size())
                && (ksDirectoryListingFilter::head(name.data(), name.size()) & filter.headMask())
                    == filter.headValue();
            const bool qt = filter.matchQt(QString::fromLatin1(name.c_str()));
            ASSERT_EQ(fast, qt) << "pattern '" << pattern << "' name '" << name << "'";
            matches += qt;
        }
    }
    EXPECT_GT(matches, 1000) << "the random cases should not all miss";

    EXPECT_FALSE(ksDirectoryListingFilter("[ab]*").hasAsciiMatcher());
    EXPECT_FALSE(ksDirectoryListingFilter("tür*").hasAsciiMatcher());
}

} // namespace
