// Licensed under the MIT licence; see LICENSE.
// The progress bar as a terminal shows it: standard error on a pseudo
// terminal, so the program draws.
#include "AppTestSupport.h"
#include "LargeObj.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

using namespace apptest;

namespace {

// Runs talvik with standard error on a fresh pseudo terminal; what it drew.
QByteArray drawn(const QStringList& arguments)
{
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(terminal, 0);
    if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0)
        return {};
    QProcess process;
    process.setStandardErrorFile(QString::fromLocal8Bit(::ptsname(terminal)));
    process.start(TALVIK_PROGRAM, arguments);
    EXPECT_TRUE(process.waitForStarted());
    QByteArray shown;
    char buffer[4096];
    // Read as it is drawn: a full terminal would stop the program.
    const auto drain = [&] {
        pollfd ready{terminal, POLLIN, 0};
        while (::poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
            const ssize_t n = ::read(terminal, buffer, sizeof buffer);
            if (n <= 0)
                break;
            shown.append(buffer, int(n));
        }
    };
    while (!process.waitForFinished(20))
        drain();
    drain();
    EXPECT_EQ(process.exitCode(), 0) << shown.toStdString();
    ::close(terminal);
    return shown;
}

// The shares of the current file the bar showed ("... 0/1  large.obj 44%").
QList<int> sharesShown(const QByteArray& shown, const QString& pattern)
{
    QList<int> shares;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(QString::fromLocal8Bit(shown));
    while (it.hasNext())
        shares << it.next().captured(1).toInt();
    return shares;
}

} // namespace

// One large file is one step of the import; the bar moves on inside it, with
// the file's name and how far its read is.
TEST(ProgressBar, MovesOnInsideOneLongImport)
{
    QTemporaryDir dir;
    const QString obj = dir.filePath("large.obj");
    ASSERT_TRUE(writeLargeObj(obj, std::size_t(20) << 20));
    const QByteArray shown = drawn({"import", obj, "--into", dir.filePath("p.zmb")});
    const QList<int> shares = sharesShown(shown, R"(0/1  large\.obj (\d+)%)");
    EXPECT_TRUE(std::any_of(shares.begin(), shares.end(), [](int share) { return share > 0 && share < 100; }))
        << shown.toStdString();
}
