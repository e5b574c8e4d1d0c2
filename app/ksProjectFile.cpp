// Licensed under the MIT licence; see LICENSE.
#include "ksProjectFile.h"

#include "ksTalvikHost.h"

#include "scene/ksFileIO.h"
#include "scenegraph/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

QString ksProjectFile::check(const QString& path, bool mayBeNew)
{
    const QFileInfo info(path);
    // What the path is comes before what its name says: "a folder" tells
    // more than "unknown project type" about "talvik status cars/".
    if (info.isDir())
        return QStringLiteral("a folder, not a project file");
    if (!ksFileIO::isProjectFile(path))
        return QStringLiteral("unknown project type '%1' (a project is a .zmb file)").arg(info.suffix());
    if (!info.exists()) {
        if (!mayBeNew)
            return QStringLiteral("no such file");
        const QFileInfo folder(info.absolutePath());
        if (!folder.isDir())
            return QStringLiteral("folder %1 does not exist").arg(folder.filePath());
        if (!folder.isWritable())
            return QStringLiteral("folder %1 is not writable").arg(folder.filePath());
        return QString();
    }
    return checkReadable(path);
}

QString ksProjectFile::checkReadable(const QString& path)
{
    osg::RegularFile file;
    if (file.open(QFile::encodeName(path).toStdString()))
        return QString();
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile())
        return QString::fromStdString(file.getError());
    return QStringLiteral("not readable (%1)").arg(QString::fromStdString(file.getError()));
}

QString ksProjectFile::checkWritable(const QString& path)
{
    // access() also says "read-only file system", which a root user meets
    // where permissions would let it through.
    const QFileInfo info(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    if (::access(folder.constData(), W_OK) != 0)
        return QStringLiteral("folder %1 is not writable (%2)")
            .arg(info.absolutePath(), QString::fromLocal8Bit(std::strerror(errno)));
    if (info.exists() && ::access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK) != 0)
        return QStringLiteral("not writable (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    return QString();
}

bool ksProjectFile::load(ksTalvikHost& host, const QString& path, QString& error)
{
    host.clearLastError();
    host.clearLoadFailures();
    ksFileIO::newScene();
    const ksFileResult loaded = ksFileIO::loadProject(QFileInfo(path).absoluteFilePath());
    if (loaded)
        return true;
    // The path is named by the caller already.
    error = loaded.message;
    if (error.isEmpty())
        error = QStringLiteral("not a readable project");
    error = QStringLiteral("corrupt or unreadable project: %1").arg(error);
    return false;
}

bool ksProjectFile::usable(const QString& path, bool mayBeNew)
{
    const QString problem = check(path, mayBeNew);
    if (!problem.isEmpty())
        report(path, problem);
    return problem.isEmpty();
}

void ksProjectFile::report(const QString& file, const QString& reason)
{
    std::fprintf(stderr, "talvik: %s: %s\n", qPrintable(file), qPrintable(reason));
}
