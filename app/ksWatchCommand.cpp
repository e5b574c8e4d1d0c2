// Licensed under the MIT licence; see LICENSE.
#include "ksWatchCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksProgressBar.h"
#include "ksProjectFile.h"
#include "ksReferenceTable.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "references/ksdReferenceNode.h"
#include "nodeutils/ksNodeUtils.h"
#include "notification/NotificationManager.h"
#include "notification/Notification.h"
#include "references/ksReferenceService.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>
#include <QSocketNotifier>
#include <QTime>

#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop reads the byte.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool jsonLines = false;

// One line per event: text, or with --json one JSON object per line.
void print(const QString& text, QJsonObject event = QJsonObject())
{
    const QString time = QTime::currentTime().toString("HH:mm:ss.zzz");
    if (jsonLines) {
        event["schema"] = ksCommandSession::Schema;
        event["time"] = time;
        std::printf("%s\n", QJsonDocument(event).toJson(QJsonDocument::Compact).constData());
    } else {
        std::printf("%s %s\n", qPrintable(time), qPrintable(text));
    }
    std::fflush(stdout);
}

// The project file as the last look saw it; compared at every interval, so
// a save by another program (a new file renamed over the old) shows too.
struct ProjectLook {
    bool exists = false;
    qint64 size = 0;
    qint64 modified = 0;
    quint64 inode = 0;

    static ProjectLook of(const QString& path)
    {
        ProjectLook look;
        struct stat info = {};
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return look;
        look.exists = true;
        look.size = info.st_size;
        look.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        look.inode = info.st_ino;
        return look;
    }
    bool operator!=(const ProjectLook& other) const
    {
        return exists != other.exists || size != other.size || modified != other.modified || inode != other.inode;
    }
};

QString describe(const ksdReferenceNode& node)
{
    QStringList parts;
    if (node.hasSmartReference())
        parts << QStringLiteral("smart %1 %2").arg(QFileInfo(node.getSmartPath()).fileName(),
                                                   ksReferenceTable::stateName(node.getSmartFileState()));
    if (node.hasSourceReference())
        parts << QStringLiteral("source %1 %2").arg(QFileInfo(node.getSourcePath()).fileName(),
                                                    ksReferenceTable::stateName(node.getSourceFileState()));
    const QString name = QString::fromStdString(ksNodeUtils::getName(ksTypeConverter::convertNode(node)));
    return QStringLiteral("%1: %2").arg(name, parts.join(", "));
}

} // namespace

int ksWatchCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    if (line.positional().size() != 1) {
        std::fprintf(stderr, "talvik: watch needs one project file\n%s", qPrintable(ksCommandLine::usage()));
        return ksCommandLine::UsageError;
    }
    const QString project = line.positional().first();
    bool ok = true;
    const int interval = line.value("interval", "5000").toInt(&ok);
    if (!ok || interval <= 0) {
        std::fprintf(stderr, "talvik: --interval needs a positive number of milliseconds\n");
        return ksCommandLine::UsageError;
    }
    const QStringList expressions = line.values("expression");
    for (const QString& expression : expressions) {
        if (!QRegularExpression(expression).isValid()) {
            std::fprintf(stderr, "talvik: invalid expression '%s': %s\n", qPrintable(expression),
                         qPrintable(QRegularExpression(expression).errorString()));
            return ksCommandLine::UsageError;
        }
    }
    if (!ksProjectFile::usable(project))
        return ksCommandLine::UsageError;
    jsonLines = line.has("json");

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        std::perror("talvik: socketpair");
        return ksCommandLine::Failure;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    QSocketNotifier stopper(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopper, &QSocketNotifier::activated, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });

    if (!host.start(line.has("verbose"))) {
        std::fprintf(stderr, "talvik: %s\n", qPrintable(host.lastError()));
        return ksCommandLine::Failure;
    }
    // Before the load starts the monitor: a running monitor takes a new
    // interval only after its current wait.
    ksReferenceService* service = host.service();
    service->setUpdateMonitoringInterval(interval);
    // The monitor is reached by its object name: the host knows it only as
    // the service's child.
    const bool pollOnly = line.has("poll-only");
    if (QObject* monitor = service->findChild<QObject*>(QStringLiteral("updateMonitor")))
        monitor->setProperty("fileEventsEnabled", !pollOnly);
    service->setNotificationMode(ksReferenceTypes::NotifyAfterUpdateCheck);
    // With expressions the monitor also looks for newer revisions of each file.
    if (!expressions.isEmpty()) {
        service->setRevisionExpressions(expressions);
        service->setRevisionCheckEnabled(true);
    }
    {
        ksProgressBar progress(!jsonLines);
        QString error;
        if (!ksProjectFile::load(host, project, error)) {
            ksProjectFile::report(project, error);
            return ksCommandLine::UsageError;
        }
    }

    QObject context;
    QObject::connect(service, &ksReferenceService::referencesChanged, &context,
                     [](const QList<ksdReferenceNode>& nodes) {
                         // An empty list only says "anything may have changed".
                         for (const ksdReferenceNode& node : nodes) {
                             const osg::NodePtr changed = ksTypeConverter::convertNode(node);
                             const ksReferenceTable table = ksReferenceTable::fromScene();
                             for (const ksReferenceTable::Row& row : table.rows()) {
                                 if (row.node != changed)
                                     continue;
                                 QJsonObject event = ksReferenceTable::rowJson(row);
                                 event["event"] = "changed";
                                 print(QStringLiteral("changed %1").arg(describe(node)), event);
                                 break;
                             }
                         }
                     });
    QObject::connect(ksa::notification::NotificationManager::getInstance(),
                     &ksa::notification::NotificationManager::notificationShown, &context,
                     [](ksa::notification::Notification* notification) {
                         QJsonObject event;
                         event["event"] = "notification";
                         event["text"] = notification->displayText();
                         print(QStringLiteral("notification: %1").arg(notification->displayText()), event);
                     });
    const QString projectPath = QFileInfo(project).absoluteFilePath();
    ProjectLook look = ProjectLook::of(projectPath);
    QTimer projectTimer;
    QObject::connect(&projectTimer, &QTimer::timeout, &context, [&] {
        const ProjectLook now = ProjectLook::of(projectPath);
        if (!(now != look))
            return;
        const char* what = !now.exists ? "deleted" : look.exists ? "changed" : "created";
        look = now;
        QJsonObject event;
        event["event"] = QStringLiteral("project_%1").arg(what);
        event["project"] = projectPath;
        print(QStringLiteral("project %1 %2").arg(QFileInfo(project).fileName(), what), event);
    });
    projectTimer.start(interval);

    QJsonObject start;
    start["event"] = "watching";
    start["project"] = projectPath;
    start["references"] = ksReferenceTable::fromScene().rows().size();
    start["interval"] = interval;
    start["file_events"] = !pollOnly;
    print(QStringLiteral("watching %1 (%2 references, %3every %4 ms); stop with Ctrl-C")
              .arg(QFileInfo(project).fileName())
              .arg(ksReferenceTable::fromScene().rows().size())
              .arg(pollOnly ? QString() : QStringLiteral("file events and "))
              .arg(interval),
          start);
    QCoreApplication::exec();
    QJsonObject stop;
    stop["event"] = "stopped";
    print(QStringLiteral("stopped"), stop);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    return 0;
}
