// Licensed under the MIT licence; see LICENSE.
#include "ksReferenceDetailsPanel.h"

#include "ksReferenceTable.h"

#include "handles/ksTypeConverter.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"

#include <QFileInfo>
#include <QLocale>
#include <QTextBrowser>
#include <QVBoxLayout>

using namespace osg;

namespace {

QString row(const QString& label, const QString& value)
{
    return QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
        .arg(label.toHtmlEscaped(), value.isEmpty() ? QStringLiteral("-") : value.toHtmlEscaped());
}

QString dateText(const QDateTime& time)
{
    return time.isValid() ? QLocale().toString(time, QLocale::ShortFormat) : QString();
}

} // namespace

ksReferenceDetailsPanel::ksReferenceDetailsPanel(QWidget* parent)
    : QWidget(parent)
    , m_view(new QTextBrowser(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    m_view->setObjectName(QStringLiteral("referenceDetails"));
    refresh();
}

void ksReferenceDetailsPanel::setReference(const ksdReferenceNode& node)
{
    m_node = node;
    refresh();
}

QString ksReferenceDetailsPanel::text() const
{
    return m_view->toPlainText();
}

QString ksReferenceDetailsPanel::fileSection(bool smart) const
{
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    const NodePtr node = ksTypeConverter::convertNode(m_node);
    const ExtReferencePtr core = references ? references->getExtReference(node) : ExtReferencePtr();
    const FileReferencePtr record = core ? (smart ? core->getSmartFile() : core->getSourceFile()) : FileReferencePtr();
    const QString title = smart ? tr("Smart file") : tr("Source file");
    if (!record)
        return QStringLiteral("<h4>%1</h4><p>%2</p>").arg(title, tr("none"));

    const QString path = smart ? m_node.getSmartPath() : m_node.getSourcePath();
    const QFileInfo info(path);
    QString html = QStringLiteral("<h4>%1</h4><table cellspacing=\"2\">").arg(title);
    html += row(tr("Path"), path);
    html += row(tr("Relative path"), QString::fromStdString(record->getRelativePath()));
    html += row(tr("State"), ksReferenceTable::stateName(smart ? m_node.getSmartFileState() : m_node.getSourceFileState()));
    html += row(tr("Modified"), dateText(smart ? m_node.getSmartLastModified() : m_node.getSourceLastModified()));
    html += row(tr("Size"), info.isFile() ? QLocale().formattedDataSize(info.size()) : QString());
    html += row(tr("Checksum"),
                record->getChecksum() ? QStringLiteral("%1").arg(record->getChecksum(), 8, 16, QLatin1Char('0')) : QString());
    html += row(tr("Owner"), smart ? m_node.getSmartOwner() : m_node.getSourceOwner());
    if (!smart)
        html += row(tr("Imported"), dateText(m_node.getSourceImportDate()));

    const QStringList revisions = smart ? m_node.getSmartRevisions() : m_node.getSourceRevisions();
    if (!revisions.isEmpty()) {
        auto& factory = ksKernelServiceFactory::the();
        ksReferenceService* service = factory.has<ksReferenceService>() ? factory.get<ksReferenceService>() : nullptr;
        const QStringList sorted = service ? service->sortRevisions(revisions) : revisions;
        const QString current = smart ? m_node.getSmartRevision() : m_node.getSourceRevision();
        QStringList shown;
        for (const QString& revision : sorted) {
            QString entry = revision.toHtmlEscaped();
            if (revision == current)
                entry += tr(" (in use)");
            if (revision == sorted.last())
                entry = QStringLiteral("<b>%1 %2</b>").arg(entry, tr("(newest)"));
            shown << entry;
        }
        html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(tr("Revisions"), shown.join(", "));
    }
    return html + QStringLiteral("</table>");
}

void ksReferenceDetailsPanel::refresh()
{
    const NodePtr node = ksTypeConverter::convertNode(m_node);
    if (!node) {
        m_view->setHtml(QStringLiteral("<p><i>%1</i></p>").arg(tr("Select a reference to see its files.")));
        return;
    }
    QString html = QStringLiteral("<h3>%1</h3>").arg(QString::fromStdString(ksNodeUtils::getName(node)).toHtmlEscaped());
    html += fileSection(true) + fileSection(false);
    m_view->setHtml(html);
}
