// Licensed under the MIT licence; see LICENSE.
#include "ksUpdateCommand.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"
#include "ksTalvikHost.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdReferenceNode.h"
#include "import/ksSceneImporter.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "references/ksReferenceUpdateFlags.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <cstdio>

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
    if (!session.open(line.positional().first(), true))
        return session.exitCode();
    QVector<ksReferenceTable::Row> chosen;
    if (!session.select(names, chosen))
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

    QStringList written;
    if (!updated.isEmpty())
        if (const int failed = session.save(&written))
            return failed;
    if (session.json()) {
        QJsonObject json;
        json["project"] = session.projectPath();
        json["updated"] = updated;
        json["written"] = QJsonArray::fromStringList(written);
        json["saved"] = !updated.isEmpty();
        session.printJson(json);
        return 0;
    }
    for (const QString& text : lines)
        std::printf("%s\n", qPrintable(text));
    for (const QString& path : written)
        std::printf("wrote smart reference %s\n", qPrintable(QFileInfo(path).fileName()));
    if (updated.isEmpty())
        std::printf("nothing to update; %s left as it was\n", qPrintable(QFileInfo(session.projectPath()).fileName()));
    else
        std::printf("saved %s\n", qPrintable(QFileInfo(session.projectPath()).fileName()));
    return 0;
}
