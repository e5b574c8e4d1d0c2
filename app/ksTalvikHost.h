// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "startup/ksKernel.h"
#include "utils/ksSubscription.h"

#include <QString>
#include <QStringList>

class ksReferenceInterface;
class ksReferenceService;

// The host as the talvik program runs it: host services, the reference
// module loaded from the plug-in folder, init, update monitoring on. Host log
// lines are kept off the terminal unless asked for, since commands print
// their own results; the last error is kept so that a failed load can say
// why.
class ksTalvikHost
{
public:
    ksTalvikHost();
    ~ksTalvikHost();

    ksTalvikHost(const ksTalvikHost&) = delete;
    ksTalvikHost& operator=(const ksTalvikHost&) = delete;

    // False (with the reason in lastError()) when no reference module loaded.
    bool start(bool verbose);

    // Stops the update monitor and delivers what is pending; called while
    // the application object still exists.
    void finish();

    ksReferenceService* service() const;
    ksReferenceInterface* references() const;

    // "new (previously old)" for each smart file the module found again
    // since the last call.
    QStringList takeResolvedPaths();

    // Why the file at `path` could not be loaded (the loader's reason), empty
    // when no load of it failed since the last clearLoadFailures().
    QString loadFailure(const QString& path) const;
    void clearLoadFailures() { m_loadFailures.clear(); }

    // The last error the host or the module logged, empty when none.
    QString lastError() const { return m_lastError; }
    void clearLastError()
    {
        m_lastError.clear();
        m_errors.clear();
    }
    // Every error logged since the last clearLastError(), oldest first: a
    // failed save logs the file that failed and then what gave up.
    const QStringList& errors() const { return m_errors; }

    static QString pluginDirectory();

private:
    ksKernel m_kernel;
    ksSubscription m_log;
    QString m_lastError;
    QStringList m_errors;
    QStringList m_resolved;
    // "<path>: <reason>" of each failed load, oldest first.
    QStringList m_loadFailures;
};
