// Licensed under the MIT licence; see LICENSE.
#include "RevisionMonitorSupport.h"

#include "monitor/ksDirectoryListing.h"
#include "monitor/ksDirectoryListingFilter.h"

#include <QRegularExpression>

#include <fcntl.h>
#include <random>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QSet<QString> qtListing(const QString& dir, const QString& filter)
{
    const QStringList names = QDir(dir).entryList(QStringList{filter}, QDir::NoFilter, QDir::NoSort);
    return QSet<QString>(names.begin(), names.end());
}

// Qt warns once per name when a filter does not compile; the tests use such filters.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

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
