// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "monitor/ksReferencesGlobal.h"

#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

// Finds the revisions of a file by its name. Revision expressions mark the revision
// parts of a path with capture groups ("door_v(\d+)"); the monitor turns those parts
// into wildcards, lists the files that fit, reads each one's revision back out of its
// name and orders revisions numerically where they are numbers.
//
// Directory listings are cached per thread until clearCache(), so a series of queries
// reads each directory once. Objects are not shared between threads; nothing locks.
//
// This is the one class other host modules link against: its members, signatures and
// access are fixed (no const members, one virtual, non-virtual destructor).
class KS_REFERENCES_EXPORT ksRevisionMonitor
{
public:
    ksRevisionMonitor();
    ksRevisionMonitor(const ksRevisionMonitor& other);
    ksRevisionMonitor(ksRevisionMonitor&& other);
    ksRevisionMonitor& operator=(const ksRevisionMonitor& other);
    ksRevisionMonitor& operator=(ksRevisionMonitor&& other);
    ~ksRevisionMonitor();

    // Compiled case-insensitively with Unicode properties; a pattern that does not
    // compile is kept in its place and never matches.
    void setExpressions(const QStringList& expressions);

    // The captured revision parts of the first expression that matches: named groups
    // first (by name), then unnamed ones by their key "|<index>" in string order.
    QString getRevision(const QString& path);
    // Every revision found next to (or, for directory wildcards, around) the path:
    // revision -> file path, in string order of the revisions.
    QMap<QString, QString> findRevisions(const QString& path);
    QString getNewestRevision(const QStringList& revisions);

    // Ascending; numeric when all revisions are one shared prefix plus digits.
    static QStringList sortRevision(const QStringList& revisions);
    // Starts a new series on the calling thread: directories are read afresh.
    static void clearCache();

protected:
    QString getWildcardPath(const QString& path);
    QStringList getWildcardFiles(const QString& wildcardPath);
    // The names in dir that fit filter, as QDir::entryList lists them with default
    // filters; answered from the calling thread's cache.
    virtual QSet<QString> getDirEntries(const QString& dir, const QString& filter);
    static void setCache(const QMap<QString, QSet<QString>>& cache);

private:
    QList<QRegularExpression> m_expressions;

    // Key: QDir(dir).absoluteFilePath(filter); value: the names listed for it.
    static thread_local QMap<QString, QSet<QString>> m_cache;
};
