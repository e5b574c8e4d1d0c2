// Licensed under the MIT licence; see LICENSE.
#include "ksCommandSession.h"

#include "ksCommandLine.h"
#include "ksProgressBar.h"
#include "ksProjectFile.h"
#include "ksProjectSave.h"
#include "ksReferenceLocator.h"
#include "ksTalvikHost.h"

#include "references/ksReferenceInterface.h"
#include "scene/ksScenegraph.h"
#include "undo/ksUndoStack.h"
#include "utils/ksLog.h"
#include "utils/ksSubscription.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <cstdio>

#include <unistd.h>

ksCommandSession::ksCommandSession(const ksCommandLine& line, ksTalvikHost& host)
    : m_line(line), m_host(host), m_json(line.has("json"))
{
}

ksCommandSession::~ksCommandSession() = default;

bool ksCommandSession::colour() const
{
    return ksReferenceTable::useColour(stdout);
}

QString ksCommandSession::projectFolder() const
{
    return QFileInfo(m_project).absolutePath();
}

int ksCommandSession::fail(int code, const QString& message)
{
    std::fprintf(stderr, "talvik: %s\n", qPrintable(message));
    m_exitCode = code;
    return code;
}

bool ksCommandSession::open(const QString& project, bool writer)
{
    m_project = QFileInfo(project).absoluteFilePath();
    const QString problem = ksProjectFile::check(project);
    if (!problem.isEmpty()) {
        fail(ksCommandLine::UsageError, QStringLiteral("%1: %2").arg(project, problem));
        return false;
    }
    if (writer) {
        m_save = std::make_unique<ksProjectSave>(m_project);
        if (!m_save->lock()) {
            fail(ksCommandLine::UsageError, QStringLiteral("%1: %2").arg(project, m_save->error()));
            return false;
        }
    }
    if (!m_host.start(m_line.has("verbose"))) {
        fail(ksCommandLine::Failure, m_host.lastError());
        return false;
    }
    // Smart files that exist but do not load are named by the loader.
    static const QRegularExpression failure(QStringLiteral("^Unable to load (.*?\\.(?:zmb|osb)): (.*)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const ksSubscription log = ksLog::subscribe([this](ksLog::Level level, const std::string& text) {
        const QRegularExpressionMatch match = failure.match(QString::fromStdString(text));
        if (level == ksLog::Level::Error && match.hasMatch())
            m_loadFailures[match.captured(1)] = match.captured(2);
    });
    ksProgressBar progress(!m_json);
    QString error;
    if (!ksProjectFile::load(m_host, m_project, error)) {
        fail(ksCommandLine::UsageError, QStringLiteral("%1: %2").arg(project, error));
        return false;
    }
    m_loadFailures.remove(m_project);
    m_resolvedSmart = m_host.takeResolvedPaths();
    ksReferenceLocator locator(m_project, m_resolvedSmart, m_loadFailures);
    m_resolvedSources = locator.resolveSources();
    // Files found again are no edit of the user's: the references that hold
    // them are as loaded.
    if (!m_resolvedSmart.isEmpty() || !m_resolvedSources.isEmpty())
        m_host.references()->resetChanged(ksScenegraph::getRoot());
    m_undoStart = ksUndoStack::get(0).count();
    return true;
}

ksReferenceTable ksCommandSession::table() const
{
    ksReferenceTable table = ksReferenceTable::fromScene();
    ksReferenceLocator(m_project, m_resolvedSmart, m_loadFailures).annotate(table);
    return table;
}

bool ksCommandSession::select(const QStringList& names, QVector<ksReferenceTable::Row>& rows)
{
    const ksReferenceTable all = table();
    for (const QString& name : names) {
        static const QRegularExpression numbered(QStringLiteral("^(.*)#(\\d+)$"));
        const QRegularExpressionMatch match = numbered.match(name);
        const QString wanted = match.hasMatch() ? match.captured(1) : name;
        QVector<ksReferenceTable::Row> found;
        for (const ksReferenceTable::Row& row : all.rows())
            if (row.treePath == wanted)
                found << row;
        // A name without a full path: the references of that name, or whose
        // path ends in it ("Chassis/wheel").
        if (found.isEmpty())
            for (const ksReferenceTable::Row& row : all.rows())
                if (row.treePath.endsWith('/' + wanted) || row.name == wanted)
                    found << row;
        if (match.hasMatch()) {
            const int index = match.captured(2).toInt();
            if (index < 1 || index > found.size()) {
                fail(ksCommandLine::UsageError, QStringLiteral("no reference %1 (%2 of that name)").arg(name).arg(found.size()));
                return false;
            }
            found = {found.at(index - 1)};
        }
        if (found.isEmpty()) {
            fail(ksCommandLine::UsageError, QStringLiteral("no reference named %1 in %2").arg(name, QFileInfo(m_project).fileName()));
            return false;
        }
        if (found.size() > 1) {
            QStringList candidates;
            for (int i = 0; i < found.size(); ++i) {
                const ksReferenceTable::Row& row = found.at(i);
                const QString file = row.smart.path.isEmpty() ? row.source.path : row.smart.path;
                candidates << QStringLiteral("  %1#%2: %3 (%4)").arg(wanted).arg(i + 1).arg(row.treePath, file);
            }
            fail(ksCommandLine::UsageError,
                 QStringLiteral("%1 names %2 references; name one of them:\n%3").arg(name).arg(found.size()).arg(candidates.join('\n')));
            return false;
        }
        bool listed = false;
        for (const ksReferenceTable::Row& row : rows)
            listed = listed || row.node == found.first().node;
        if (!listed)
            rows << found.first();
    }
    return true;
}

void ksCommandSession::undoAll()
{
    ksUndoStack& stack = ksUndoStack::get(0);
    while (stack.stack().index() > m_undoStart)
        stack.undo();
}

int ksCommandSession::save(QStringList* written)
{
    if (!m_save) {
        m_save = std::make_unique<ksProjectSave>(m_project);
        if (!m_save->lock())
            return fail(ksCommandLine::UsageError, QStringLiteral("%1: %2").arg(m_project, m_save->error()));
    }
    if (!m_save->save()) {
        undoAll();
        return fail(ksCommandLine::Failure, QStringLiteral("%1: %2").arg(m_project, m_save->error()));
    }
    if (written)
        *written = m_save->written();
    return 0;
}

bool ksCommandSession::openWithReferences(QVector<ksReferenceTable::Row>& rows)
{
    return open(m_line.positional().first(), true) && select(m_line.positional().mid(1), rows);
}

int ksCommandSession::finish(QJsonObject result, const QStringList& lines, bool changed)
{
    QStringList written;
    if (changed)
        if (const int failed = save(&written))
            return failed;
    if (m_json) {
        result["project"] = m_project;
        result["written"] = QJsonArray::fromStringList(written);
        printJson(result);
        return 0;
    }
    for (const QString& text : lines)
        std::printf("%s\n", qPrintable(text));
    for (const QString& path : written)
        std::printf("wrote smart reference %s\n", qPrintable(QFileInfo(path).fileName()));
    if (changed)
        std::printf("saved %s\n", qPrintable(QFileInfo(m_project).fileName()));
    return 0;
}

void ksCommandSession::printJson(QJsonObject object) const
{
    object["schema"] = Schema;
    object["command"] = m_line.command();
    std::printf("%s", QJsonDocument(object).toJson(QJsonDocument::Indented).constData());
}
