// Licensed under the MIT licence; see LICENSE.
#include "ksPackCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksProjectFile.h"
#include "ksProjectSave.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "references/ksdReferenceNode.h"
#include "scene/ksSceneData.h"
#include "scene/ksSceneDataManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QMap>

#include <cstdio>

namespace {

// Where each file goes: files inside the project folder keep their place
// below it; others go to "external/", numbered when two share a name.
class PackPlan
{
public:
    PackPlan(const QString& projectFolder, const QString& target) : m_from(projectFolder + '/'), m_to(target) {}

    QString place(const QString& file)
    {
        const QString path = QDir::cleanPath(file);
        if (m_places.contains(path))
            return m_places.value(path);
        QString place = path.startsWith(m_from) ? QDir(m_to).filePath(path.mid(m_from.size()))
                                                : QDir(m_to).filePath("external/" + QFileInfo(path).fileName());
        const QString base = place;
        for (int n = 2; m_taken.contains(place); ++n) {
            const QFileInfo info(base);
            place = info.path() + '/' + info.completeBaseName() + QStringLiteral("_%1.").arg(n) + info.suffix();
        }
        m_taken << place;
        m_places[path] = place;
        return place;
    }
    const QMap<QString, QString>& places() const { return m_places; }

private:
    QString m_from, m_to;
    QMap<QString, QString> m_places;
    QSet<QString> m_taken;
};

// A copy that keeps the file's time, so that the copied records stay up to
// date with it.
bool copyFile(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    if (!QFile::copy(from, to))
        return false;
    QFile copy(to);
    return copy.open(QIODevice::ReadWrite)
           && copy.setFileTime(QFileInfo(from).lastModified(), QFileDevice::FileModificationTime);
}

} // namespace

int ksPackCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    ksCommandSession session(line, host);
    const QString target = line.has("to") ? QDir::cleanPath(QFileInfo(line.value("to")).absoluteFilePath()) : QString();
    if (line.positional().size() != 1 || target.isEmpty())
        return session.fail(ksCommandLine::UsageError, QStringLiteral("pack needs one project file and --to DIR"));
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && (!targetInfo.isDir() || !QDir(target).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)))
        return session.fail(ksCommandLine::UsageError, QStringLiteral("%1: %2").arg(
            line.value("to"), targetInfo.isDir() ? QStringLiteral("not empty; pack into a new or empty folder")
                                                 : QStringLiteral("not a folder")));
    if (!QFileInfo(targetInfo.absolutePath()).isDir())
        return session.fail(ksCommandLine::UsageError, QStringLiteral("%1: folder %2 does not exist").arg(line.value("to"), targetInfo.absolutePath()));
    if (!session.open(line.positional().first(), false))
        return session.exitCode();
    const QString projectFolder = session.projectFolder();
    if ((target + '/').startsWith(projectFolder + '/'))
        return session.fail(ksCommandLine::UsageError, QStringLiteral("%1: inside the project folder; pack elsewhere").arg(line.value("to")));

    // A pack is whole or not made: every file must be there to be copied.
    const ksReferenceTable table = session.table();
    for (const ksReferenceTable::Row& row : table.rows())
        for (const ksReferenceTable::File* file : {&row.smart, &row.source})
            if (file->state != ksReferenceTypes::NoReference
                && (file->path.isEmpty() || !QFileInfo(file->path).isFile() || !file->unreadableReason.isEmpty()))
                return session.fail(ksCommandLine::UsageError,
                                    QStringLiteral("%1: %2 is %3; resolve or relink it before packing")
                                        .arg(row.treePath, file->path.isEmpty() ? "the file" : file->path,
                                             ksReferenceTable::stateId(*file).replace('_', ' ')));

    const bool created = !targetInfo.exists();
    const QString packed = QDir(target).filePath(QFileInfo(session.projectPath()).fileName());
    const auto abandon = [&](const QString& reason) {
        if (created)
            QDir(target).removeRecursively();
        else
            for (const QString& entry : QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
                QFileInfo(QDir(target).filePath(entry)).isDir() ? QDir(QDir(target).filePath(entry)).removeRecursively()
                                                                 : QFile::remove(QDir(target).filePath(entry));
        return session.fail(ksCommandLine::Failure, reason);
    };
    if (!QDir().mkpath(target))
        return session.fail(ksCommandLine::Failure, QStringLiteral("%1: cannot create the folder").arg(target));

    // Sources and unloaded smart files are copied as they are; loaded smart
    // files are written anew, innermost first, so that each holds the new
    // places of the files below it.
    PackPlan plan(projectFolder, target);
    ksSceneDataManager::getSceneData(0)->setCurrentFile(packed);
    QVector<ksReferenceTable::Row> smartRows;
    for (const ksReferenceTable::Row& row : table.rows()) {
        ksdReferenceNode handle(ksTypeConverter::convertNode(row.node));
        if (!row.source.path.isEmpty()) {
            const QString place = plan.place(row.source.path);
            if (!QFileInfo::exists(place) && !copyFile(row.source.path, place))
                return abandon(QStringLiteral("%1: cannot copy to %2").arg(row.source.path, place));
            handle.setSourcePath(place);
        }
        if (row.smart.path.isEmpty())
            continue;
        const QString place = plan.place(row.smart.path);
        handle.setSmartPath(place);
        if (handle.isLoaded())
            smartRows.prepend(row);
        else if (!QFileInfo::exists(place) && !copyFile(row.smart.path, place))
            return abandon(QStringLiteral("%1: cannot copy to %2").arg(row.smart.path, place));
    }
    for (const ksReferenceTable::Row& row : smartRows) {
        // The packed project is the one relative paths refer to from now on.
        ksProjectSave::refreshRelativePaths(packed, true);
        const QString place = plan.place(row.smart.path);
        QDir().mkpath(QFileInfo(place).absolutePath());
        ksdReferenceNode(ksTypeConverter::convertNode(row.node)).saveSmartReferenceAs(place, false);
        if (!QFileInfo(place).isFile())
            return abandon(QStringLiteral("%1: cannot write %2: %3").arg(row.treePath, place, host.lastError()));
    }
    ksProjectSave::refreshRelativePaths(packed, true);
    {
        ksProjectSave save(packed);
        if (!save.lock() || !save.save())
            return abandon(QStringLiteral("%1: %2").arg(packed, save.error()));
    }

    // The check: the packed project, loaded afresh, finds every file inside
    // the new folder.
    QString error;
    if (!ksProjectFile::load(host, packed, error))
        return abandon(QStringLiteral("%1: the packed project does not load: %2").arg(packed, error));
    const ksReferenceTable check = ksReferenceTable::fromScene();
    for (const ksReferenceTable::Row& row : check.rows())
        for (const ksReferenceTable::File* file : {&row.smart, &row.source})
            if (file->state != ksReferenceTypes::NoReference
                && (!QDir::cleanPath(file->path).startsWith(target + '/') || file->state == ksReferenceTypes::Missing))
                return abandon(QStringLiteral("%1: %2 in the packed project is %3").arg(row.treePath, file->path,
                                                                                         ksReferenceTable::stateName(file->state)));

    QJsonArray files;
    for (auto it = plan.places().cbegin(); it != plan.places().cend(); ++it) {
        QJsonObject entry;
        entry["from"] = it.key();
        entry["to"] = it.value();
        files.append(entry);
    }
    if (session.json()) {
        QJsonObject json;
        json["project"] = session.projectPath();
        json["packed"] = packed;
        json["files"] = files;
        json["status"] = check.worstState();
        session.printJson(json);
        return 0;
    }
    for (auto it = plan.places().cbegin(); it != plan.places().cend(); ++it)
        std::printf("packed %s -> %s\n", qPrintable(QDir(projectFolder).relativeFilePath(it.key())),
                    qPrintable(QDir(target).relativeFilePath(it.value())));
    std::printf("packed %s into %s: %d reference(s), %d file(s); checked: every file found inside it\n",
                qPrintable(QFileInfo(packed).fileName()), qPrintable(target), int(check.rows().size()),
                int(plan.places().size()) + 1);
    return 0;
}
