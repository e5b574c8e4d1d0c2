// Licensed under the MIT licence; see LICENSE.
#include "ksUpdateCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "references/ksReferenceUpdateFlags.h"
#include "references/ksdReferenceNode.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QSet>


namespace {

// The first row to update, parents first: a reloaded smart file brings the
// content of the references nested in it, whose sources are re-imported
// only afterwards. Null when nothing is left.
const ksReferenceTable::Row* next(const ksReferenceTable& table, const QSet<QString>& wanted, bool all,
                                  const QSet<QString>& done, bool& smart)
{
    for (smart = true;; smart = false) {
        for (const ksReferenceTable::Row& row : table.rows()) {
            const ksReferenceTable::File& file = smart ? row.smart : row.source;
            const QString key = (smart ? "smart:" : "source:") + row.treePath;
            if ((all || wanted.contains(row.treePath)) && !done.contains(key)
                && file.state == ksReferenceTypes::Outdated)
                return &row;
        }
        if (!smart)
            return nullptr;
    }
}

} // namespace

int ksUpdateCommand::run(const ksCommandLine& line, ksTalvikHost& host)
{
    ksCommandSession session(line, host);
    const QStringList names = line.positional().mid(1);
    const bool all = line.has("all");
    if (line.positional().isEmpty() || names.isEmpty() == !all)
        return session.fail(ksCommandLine::UsageError, QStringLiteral("update needs a project file and REF... or --all"));
    QVector<ksReferenceTable::Row> chosen;
    if (!session.openWithReferences(chosen))
        return session.exitCode();
    QSet<QString> wanted;
    for (const ksReferenceTable::Row& row : chosen)
        wanted << row.treePath;

    ksReferenceService* service = host.service();
    ksReferenceInterface* references = host.references();
    QSet<QString> done;
    QJsonArray updated;
    QStringList lines;
    bool smart = false;
    for (ksReferenceTable table = session.table(); const ksReferenceTable::Row* row = next(table, wanted, all, done, smart);
         table = session.table()) {
        done << (smart ? "smart:" : "source:") + row->treePath;
        const ksdReferenceNode handle(ksTypeConverter::convertNode(row->node));
        if (smart) {
            service->reloadSmartReferences({handle});
            references->updateReferences(row->node, ksReferenceUpdateFlags::UpdateSmartFileInfo, true);
        } else {
            service->loadSourceReferences({handle});
            references->updateReferences(row->node, ksReferenceUpdateFlags::UpdateSourceFileInfo, true);
        }
        const QString file = smart ? row->smart.path : row->source.path;
        const quint64 vertices = ksSceneImporter::countVertices(row->node);
        lines << QStringLiteral("updated %1: %2 %3 (%4 vertices)")
                     .arg(row->treePath, smart ? "reloaded" : "re-imported", QFileInfo(file).fileName())
                     .arg(vertices);
        QJsonObject entry;
        entry["path"] = row->treePath;
        entry["file"] = file;
        entry["kind"] = smart ? "smart" : "source";
        entry["vertices"] = double(vertices);
        updated.append(entry);
    }
    for (const QString& path : wanted)
        if (!done.contains("smart:" + path) && !done.contains("source:" + path))
            lines << QStringLiteral("%1 is not outdated").arg(path);

    if (updated.isEmpty())
        lines << QStringLiteral("nothing to update; %1 left as it was").arg(QFileInfo(session.projectPath()).fileName());
    QJsonObject json;
    json["updated"] = updated;
    json["saved"] = !updated.isEmpty();
    return session.finish(json, lines, !updated.isEmpty());
}
