// Licensed under the MIT licence; see LICENSE.
// Runs the talvik program as a process on files in temporary folders.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>

namespace apptest {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs `program` to its end with `extra` added to the environment, or kills
// it after `timeoutMs` and fails the test. `setup` may change the process
// before it starts (folder, output file).
inline Result run(const QString& program, const QStringList& arguments, int timeoutMs = 120000,
                  const QProcessEnvironment& extra = {}, const std::function<void(QProcess&)>& setup = {})
{
    QProcess process;
    // Plain text whatever the terminal: tests read the output.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("NO_COLOR", "1");
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    if (setup)
        setup(process);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "talvik " << arguments.join(' ').toStdString() << " did not finish normally";
        process.kill();
        process.waitForFinished();
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

inline Result talvik(const QStringList& arguments, int timeoutMs = 120000)
{
    return run(TALVIK_PROGRAM, arguments, timeoutMs);
}

inline Result talvik(const QStringList& arguments, const QProcessEnvironment& extra)
{
    return run(TALVIK_PROGRAM, arguments, 120000, extra);
}

inline Result talvik(const QStringList& arguments, const std::function<void(QProcess&)>& setup)
{
    return run(TALVIK_PROGRAM, arguments, 120000, {}, setup);
}

// A triangle fan of `triangles` triangles as an OBJ file.
inline QString writeObj(const QString& path, int triangles)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("v 0 0 0\n");
    for (int i = 0; i <= triangles; ++i)
        file.write(QStringLiteral("v %1 %2 0\n").arg(i).arg(i % 2).toUtf8());
    for (int i = 0; i < triangles; ++i)
        file.write(QStringLiteral("f 1 %1 %2\n").arg(i + 2).arg(i + 3).toUtf8());
    return QFileInfo(path).absoluteFilePath();
}

// `more` appended, with a later time: file times are whole seconds, and a
// change in the second the file was recorded must still count.
inline void changeFile(const QString& path, const QByteArray& more = "v 7 7 7\n")
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(more);
    // Written out first: a later flush would set the time to now again.
    ASSERT_TRUE(file.flush());
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(30), QFileDevice::FileModificationTime));
}

// Every file below `dir` with its size, time and content hash: a folder
// that compares equal was not changed.
inline QMap<QString, QString> snapshot(const QString& dir)
{
    QMap<QString, QString> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        files[file.fileName()] = QStringLiteral("%1 %2 %3")
                                     .arg(it.fileInfo().size())
                                     .arg(it.fileInfo().lastModified().toMSecsSinceEpoch())
                                     .arg(qHash(file.readAll()));
    }
    return files;
}

} // namespace apptest
