// Licensed under the MIT licence; see LICENSE.
#include "ksReferenceTable.h"

#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "kernel/ksInterfaceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "references/ksdReferenceNode.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/Node.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

#include <unistd.h>

using namespace osg;

namespace {

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

// The status text colours each part "<font color=...>": smart part first,
// then source; a part without a file name is left out.
void takeColours(const std::string& statusText, ksReferenceTable::Row& row)
{
    static const QRegularExpression part(QStringLiteral("<font color=\"(#[0-9a-fA-F]{6})\">"));
    QRegularExpressionMatchIterator it = part.globalMatch(QString::fromStdString(statusText));
    for (ksReferenceTable::File* file : {&row.smart, &row.source}) {
        if (fileName(file->path).isEmpty() || !it.hasNext())
            continue;
        file->colour = it.next().captured(1);
    }
}

QString paint(const QString& text, const QString& colour, bool enabled)
{
    if (!enabled || colour.isEmpty())
        return text;
    const QColor c(colour);
    return QStringLiteral("\033[38;2;%1;%2;%3m%4\033[0m").arg(c.red()).arg(c.green()).arg(c.blue()).arg(text);
}

} // namespace

ksReferenceTable ksReferenceTable::fromScene()
{
    ksReferenceTable table;
    table.collect(ksScenegraph::getRoot(), 0, QString());
    return table;
}

void ksReferenceTable::collect(const NodePtr& node, int depth, const QString& parentPath)
{
    if (!node)
        return;
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    int childDepth = depth;
    QString childParent = parentPath;
    if (references && references->isExtReference(node)) {
        Row row = readRow(node);
        row.depth = depth;
        row.parentPath = parentPath;
        row.treePath = parentPath.isEmpty() ? row.name : parentPath + '/' + row.name;
        m_rows.push_back(row);
        childDepth = depth + 1;
        childParent = row.treePath;
    }
    for (UInt32 i = 0; i < node->getNChildren(); ++i)
        collect(node->getChild(i), childDepth, childParent);
}

ksReferenceTable::Row ksReferenceTable::readRow(const NodePtr& node, bool countVertices)
{
    Row row;
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    if (!references || !references->isExtReference(node))
        return row;
    const ksdReferenceNode handle(ksTypeConverter::convertNode(node));
    row.name = QString::fromStdString(ksNodeUtils::getName(node));
    row.node = node;
    row.smart.path = handle.getSmartPath();
    row.smart.state = handle.getSmartFileState();
    row.source.path = handle.getSourcePath();
    row.source.state = handle.getSourceFileState();
    row.loaded = handle.isLoaded();
    row.edited = handle.isChanged();
    if (countVertices)
        row.vertices = ksSceneImporter::countVertices(node);
    takeColours(references->getReferenceStatusText(node), row);
    return row;
}

const ksReferenceTable::Row* ksReferenceTable::find(const QString& name) const
{
    for (const Row& row : m_rows)
        if (row.name == name)
            return &row;
    return nullptr;
}

int ksReferenceTable::worstState() const
{
    int worst = 0;
    for (const Row& row : m_rows) {
        for (const File* file : {&row.smart, &row.source}) {
            if (file->state == ksReferenceTypes::Missing || !file->unreadableReason.isEmpty())
                return 2;
            if (file->state == ksReferenceTypes::Outdated || !file->newerRevision.isEmpty())
                worst = 1;
        }
    }
    return worst;
}

QString ksReferenceTable::stateName(ksReferenceTypes::FileState state)
{
    switch (state) {
    case ksReferenceTypes::UpToDate: return QStringLiteral("up to date");
    case ksReferenceTypes::Outdated: return QStringLiteral("outdated");
    case ksReferenceTypes::Missing: return QStringLiteral("missing");
    case ksReferenceTypes::NoPath: return QStringLiteral("no path");
    case ksReferenceTypes::NoReference: break;
    }
    return QStringLiteral("-");
}

QString ksReferenceTable::stateId(const File& file)
{
    if (!file.unreadableReason.isEmpty())
        return QStringLiteral("unreadable");
    switch (file.state) {
    case ksReferenceTypes::UpToDate: return QStringLiteral("up_to_date");
    case ksReferenceTypes::Outdated: return QStringLiteral("outdated");
    case ksReferenceTypes::Missing: return QStringLiteral("missing");
    case ksReferenceTypes::NoPath: return QStringLiteral("no_path");
    case ksReferenceTypes::NoReference: break;
    }
    return QString();
}

QString ksReferenceTable::foundId(Found found)
{
    switch (found) {
    case Found::SavedPath: return QStringLiteral("saved_path");
    case Found::RelativePath: return QStringLiteral("relative_path");
    case Found::SearchFolder: return QStringLiteral("search_folder");
    case Found::NotFound: break;
    }
    return QStringLiteral("not_found");
}

QJsonValue ksReferenceTable::fileJson(const File& file)
{
    if (file.state == ksReferenceTypes::NoReference)
        return QJsonValue::Null;
    QJsonObject object;
    object["path"] = file.path;
    object["folder"] = file.path.isEmpty() ? QString() : QFileInfo(file.path).absolutePath();
    object["state"] = stateId(file);
    object["found"] = foundId(file.found);
    object["outside_project"] = file.outsideProject;
    object["newer_revision"] = file.newerRevision.isEmpty() ? QJsonValue::Null : QJsonValue(file.newerRevision);
    if (!file.unreadableReason.isEmpty())
        object["reason"] = file.unreadableReason;
    return object;
}

QJsonObject ksReferenceTable::rowJson(const Row& row)
{
    QJsonObject object;
    object["name"] = row.name;
    object["path"] = row.treePath;
    object["parent"] = row.parentPath.isEmpty() ? QJsonValue::Null : QJsonValue(row.parentPath);
    object["depth"] = row.depth;
    object["smart"] = fileJson(row.smart);
    object["source"] = fileJson(row.source);
    object["loaded"] = row.loaded;
    object["edited"] = row.edited;
    object["vertices"] = double(row.vertices);
    return object;
}

bool ksReferenceTable::useColour(std::FILE* out)
{
    return ::isatty(::fileno(out)) && qEnvironmentVariableIsEmpty("NO_COLOR")
           && qgetenv("TERM") != QByteArrayLiteral("dumb");
}

int ksReferenceTable::displayWidth(const QString& text)
{
    int width = 0;
    for (const uint c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing || category == QChar::Other_Format)
            continue;
        // The wide ranges of Unicode's East Asian Width: Hangul Jamo, CJK and
        // its punctuation, Hangul syllables, compatibility and full-width
        // forms, emoji, and the supplementary ideographic planes.
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF)
                          || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF)
                          || (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F)
                          || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F)
                          || (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

void ksReferenceTable::print(std::FILE* out, bool colour, const PrintOptions& options) const
{
    if (m_rows.isEmpty()) {
        std::fprintf(out, "  (no references)\n");
        return;
    }
    // Files inside the project folder by their path in it, others in full,
    // so that two files of one name can be told apart.
    const QDir folder(options.projectFolder);
    const auto shown = [&](const QString& path) {
        if (options.projectFolder.isEmpty())
            return fileName(path);
        const QString relative = folder.relativeFilePath(path);
        return relative.startsWith(QLatin1String("../")) ? path : relative;
    };
    // Widths come from the plain texts; escapes are added afterwards.
    const auto describe = [&](const File& file) {
        if (file.state == ksReferenceTypes::NoReference)
            return QStringLiteral("-");
        QString text = (file.path.isEmpty() ? QStringLiteral("(no path)") : shown(file.path)) + " "
                       + (file.unreadableReason.isEmpty() ? stateName(file.state) : QStringLiteral("unreadable"));
        if (options.paths && !file.path.isEmpty())
            text += QStringLiteral(" [%1]").arg(foundId(file.found).replace('_', ' '));
        return text;
    };
    int nameWidth = 9, smartWidth = 5, sourceWidth = 6;
    for (const Row& row : m_rows) {
        nameWidth = std::max(nameWidth, row.depth * 2 + displayWidth(row.name));
        smartWidth = std::max(smartWidth, displayWidth(describe(row.smart)));
        sourceWidth = std::max(sourceWidth, displayWidth(describe(row.source)));
    }
    const auto pad = [](const QString& text, int width) { return QString(std::max(0, width - displayWidth(text)), ' '); };
    std::fprintf(out, "  %s%s  %s%s  %s%s  loaded  edited  vertices\n", "Reference", qPrintable(pad("Reference", nameWidth)),
                 "Smart", qPrintable(pad("Smart", smartWidth)), "Source", qPrintable(pad("Source", sourceWidth)));
    for (const Row& row : m_rows) {
        const QString name = QString(row.depth * 2, ' ') + row.name;
        const QString smart = describe(row.smart);
        const QString source = describe(row.source);
        std::fprintf(out, "  %s%s  %s%s  %s%s  %-6s  %-6s  %llu\n", qPrintable(name), qPrintable(pad(name, nameWidth)),
                     qPrintable(paint(smart, row.smart.colour, colour)), qPrintable(pad(smart, smartWidth)),
                     qPrintable(paint(source, row.source.colour, colour)), qPrintable(pad(source, sourceWidth)),
                     row.loaded ? "yes" : "no", row.edited ? "yes" : "no", static_cast<unsigned long long>(row.vertices));
    }
}

int ksReferenceTable::unreadableCount() const
{
    int count = 0;
    for (const Row& row : m_rows)
        for (const File* file : {&row.smart, &row.source})
            count += stateId(*file) == QLatin1String("unreadable");
    return count;
}

QJsonObject ksReferenceTable::toJson() const
{
    QJsonArray rows;
    int outdated = 0, missing = 0, outside = 0, newer = 0;
    for (const Row& row : m_rows) {
        rows.append(rowJson(row));
        for (const File* file : {&row.smart, &row.source}) {
            const QString id = stateId(*file);
            outdated += id == QLatin1String("outdated");
            missing += id == QLatin1String("missing");
            outside += file->outsideProject;
            newer += !file->newerRevision.isEmpty();
        }
    }
    QJsonObject result;
    result["references"] = rows;
    result["outdated"] = outdated;
    result["missing"] = missing;
    result["unreadable"] = unreadableCount();
    result["outside_project"] = outside;
    result["newer_revisions"] = newer;
    return result;
}
