// Licensed under the MIT licence; see LICENSE.
#include "ksTalvikHost.h"

#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "utils/ksLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include <dlfcn.h>

ksTalvikHost::ksTalvikHost() = default;

ksTalvikHost::~ksTalvikHost()
{
    m_kernel.shutdown();
    m_log.reset();
}

QString ksTalvikHost::pluginDirectory()
{
    // Beside the program in a build tree (bin/ and plugins/ are siblings);
    // the configured folder otherwise.
    const QString local = QCoreApplication::applicationDirPath() + "/../plugins";
    return QFileInfo::exists(local) ? QDir(local).absolutePath() : QStringLiteral(TALVIK_PLUGIN_DIR);
}

bool ksTalvikHost::start(bool verbose)
{
    ksLog::setEchoToStandardError(false);
    m_log = ksLog::subscribe([this, verbose](ksLog::Level level, const std::string& text) {
        static const std::string resolvedPrefix = "Resolved new reference path: ";
        static const std::string loadPrefix = "Unable to load ";
        if (level == ksLog::Level::Error) {
            m_lastError = QString::fromStdString(text);
            m_errors << m_lastError;
        }
        if (level == ksLog::Level::Error && text.compare(0, loadPrefix.size(), loadPrefix) == 0)
            m_loadFailures << QString::fromStdString(text.substr(loadPrefix.size()));
        else if (text.compare(0, resolvedPrefix.size(), resolvedPrefix) == 0)
            m_resolved << QString::fromStdString(text.substr(resolvedPrefix.size()));
        if (verbose)
            std::fprintf(stderr, "%s: %s\n", ksLog::levelName(level), text.c_str());
    });

    m_kernel.installHostServices();
    const QDir plugins(pluginDirectory());
    m_kernel.loadModules(plugins.path());
    // A program that ends keeps its modules mapped to the end, as the
    // application does: what they keep for the life of the process (their
    // settings, their module object) stays theirs instead of becoming
    // unreachable memory when the kernel unloads them at shut-down.
    for (const QString& name : plugins.entryList({QStringLiteral("*.so")}, QDir::Files))
        ::dlopen(QFile::encodeName(plugins.filePath(name)).constData(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    m_kernel.start();
    if (!service() || !references()) {
        m_lastError = QStringLiteral("the reference module was not found in %1").arg(pluginDirectory());
        return false;
    }
    service()->setUpdateMonitoringEnabled(true);
    return true;
}

void ksTalvikHost::finish()
{
    if (!m_kernel.isStarted())
        return;
    if (ksReferenceService* references = service())
        references->setUpdateMonitoringEnabled(false);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

QString ksTalvikHost::loadFailure(const QString& path) const
{
    // The path is matched whole: a reason may hold ": " too.
    const QString prefix = path + QStringLiteral(": ");
    for (auto it = m_loadFailures.crbegin(); it != m_loadFailures.crend(); ++it)
        if (it->startsWith(prefix))
            return it->mid(prefix.size());
    return QString();
}

QStringList ksTalvikHost::takeResolvedPaths()
{
    QStringList resolved;
    resolved.swap(m_resolved);
    return resolved;
}

ksReferenceService* ksTalvikHost::service() const
{
    auto& factory = ksKernelServiceFactory::the();
    return factory.has<ksReferenceService>() ? factory.get<ksReferenceService>() : nullptr;
}

ksReferenceInterface* ksTalvikHost::references() const
{
    return ksInterfaceFactory::the().get<ksReferenceInterface>();
}
