// Licensed under the MIT licence; see LICENSE.
#include "ksWatchCommand.h"

#include "ksCommandLine.h"
#include "ksProgressBar.h"
#include "ksProjectFile.h"
#include "ksReferenceTable.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdReferenceNode.h"
#include "nodeutils/ksNodeUtils.h"
#include "notification/NotificationManager.h"
#include "notification/Notification.h"
#include "references/ksReferenceService.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTime>

#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop reads the byte.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void print(const QString& text)
{
    std::printf("%s %s\n", qPrintable(QTime::currentTime().toString("HH:mm:ss.zzz")), qPrintable(text));
    std::fflush(stdout);
}

QString describe(const ksdReferenceNode& node, const ksTalvikHost& host)
{
    QStringList parts;
    if (node.hasSmartReference()) {
        const ksReferenceTypes::FileState state = node.getSmartFileState();
        const QString failure = state == ksReferenceTypes::Missing ? QString() : host.loadFailure(node.getSmartPath());
        parts << QStringLiteral("smart %1 %2").arg(QFileInfo(node.getSmartPath()).fileName(),
                                                   failure.isEmpty() ? ksReferenceTable::stateName(state)
                                                                     : QStringLiteral("unreadable (%1)").arg(failure));
    }
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
        std::fprintf(stderr, "talvik: watch needs one project file\n%s", qPrintable(ksCommandLine::help(QStringLiteral("watch"))));
        return ksCommandLine::UsageError;
    }
    const QString project = line.positional().first();
    bool ok = true;
    const int interval = line.value("interval", "5000").toInt(&ok);
    if (!ok || interval <= 0) {
        std::fprintf(stderr, "talvik: --interval needs a positive number of milliseconds\n");
        return ksCommandLine::UsageError;
    }
    if (!ksProjectFile::usable(project))
        return ksCommandLine::UsageError;

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
    {
        ksProgressBar progress(true);
        QString error;
        if (!ksProjectFile::load(host, project, error)) {
            ksProjectFile::report(project, error);
            return ksCommandLine::UsageError;
        }
    }

    QObject context;
    QObject::connect(service, &ksReferenceService::referencesChanged, &context,
                     [&host](const QList<ksdReferenceNode>& nodes) {
                         // An empty list only says "anything may have changed".
                         for (const ksdReferenceNode& node : nodes)
                             print(QStringLiteral("changed %1").arg(describe(node, host)));
                     });
    QObject::connect(ksa::notification::NotificationManager::getInstance(),
                     &ksa::notification::NotificationManager::notificationShown, &context,
                     [](ksa::notification::Notification* notification) {
                         print(QStringLiteral("notification: %1").arg(notification->displayText()));
                     });

    const ksReferenceTable table = ksReferenceTable::fromScene(host.loadFailures());
    print(QStringLiteral("watching %1 (%2 references, %3every %4 ms); stop with Ctrl-C")
              .arg(QFileInfo(project).fileName())
              .arg(table.rows().size())
              .arg(pollOnly ? QString() : QStringLiteral("file events and "))
              .arg(interval));
    for (const ksReferenceTable::Row& row : table.rows())
        if (!row.smart.unreadable.isEmpty())
            print(QStringLiteral("unreadable %1: %2: %3")
                      .arg(row.name, QFileInfo(row.smart.path).fileName(), row.smart.unreadable));
    QCoreApplication::exec();
    print(QStringLiteral("stopped"));
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    return 0;
}
