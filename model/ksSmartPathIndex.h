// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <string>
#include <vector>

// The pool's index from a smart file, as the reference interface compares
// paths, to the cores whose smart record names it. The clone queries ask it
// for the few cores of one file instead of comparing the path of every core.
//
// Kept in step by the pool's hooks, so it follows published edits of the
// records, as the pool's statuses do; callers check each core they are given
// against its live record, which drops a core whose record was taken away
// without an edit. Main thread only.
class ksSmartPathIndex
{
public:
    // What the reference interface compares to tell whether two paths name
    // the same file: the absolute path as Qt makes it, without touching the
    // disk (a relative path is taken from the working directory).
    static QString normalise(const std::string& path);
    static QString normalise(const QByteArray& path);

    // `core`'s smart record now names `path` (UTF-8), replacing what it
    // named before. An empty path names no file: the core leaves the index.
    void set(quint32 core, const QByteArray& path);
    void remove(quint32 core);
    // The cores whose smart path names the same file as `path`, in ascending
    // id order; empty for an empty path, which names no file.
    const std::vector<quint32>& coresOf(const std::string& path);

private:
    // Relative paths were made absolute against the working directory of the
    // time: when it has changed, their keys are made again.
    void followWorkingDirectory();
    void insert(quint32 core, const QString& key);
    void erase(quint32 core, const QString& key);

    QHash<QString, std::vector<quint32>> m_cores;
    QHash<quint32, QString> m_keys;
    // The relative paths among the indexed ones, with the directory their
    // keys were made in.
    QHash<quint32, QByteArray> m_relativePaths;
    QString m_workingDirectory;
};
