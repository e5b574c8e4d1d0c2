// Licensed under the MIT licence; see LICENSE.
#include "interface/ksReferenceStatusText.h"

#include "kernel/ksKernelServiceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "notification/ksStyle.h"
#include "references/ksReferenceService.h"
#include "references/ksReferenceTypes.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"

#include <QColor>
#include <QFileInfo>
#include <QString>

using namespace osg;

namespace {

// The part of one record: only the suffix when the file bears the node's
// name, since the name is shown beside it anyway.
QString partText(const FileReferencePtr& record, const QString& nodeName)
{
    if (!record)
        return QString();
    const QFileInfo fi(QString::fromUtf8(record->getPath().c_str()));
    return fi.completeBaseName() == nodeName ? fi.suffix() : fi.fileName();
}

QColor colourFor(const NodePtr& node, const ExtReferencePtr& core, UInt32 fileState)
{
    if (core->getState() != ksReferenceTypes::Loaded || !ksNodeUtils::isSelectable(node) || ksNodeUtils::getLock(node))
        return ksStyle::getLockedItemColor();
    if (fileState == ksReferenceTypes::Missing)
        return ksStyle::getReferenceMissingColor();
    if (fileState == ksReferenceTypes::Outdated)
        return ksStyle::getReferenceOutOfDateColor();
    return ksStyle::getReferenceUpToDateColor();
}

QString coloured(const QString& text, const NodePtr& node, const ExtReferencePtr& core, UInt32 fileState)
{
    // Looked up once: a missing service stays missing (the factory reports
    // it), and the text is then coloured as with monitoring on.
    static ksReferenceService* const service = ksKernelServiceFactory::the().get<ksReferenceService>();
    if (service && !service->isUpdateMonitoringEnabled())
        return text;
    static const QString markup = QStringLiteral("<font color=\"%1\">%2</font>");
    return markup.arg(colourFor(node, core, fileState).name()).arg(text);
}

} // namespace

std::string ksReferenceStatusText::get(const NodePtr& node)
{
    if (!node)
        return std::string();
    const ExtReferencePtr core = ExtReferencePtr::dcast(node->getCore());
    if (!core)
        return std::string();
    const QString nodeName = QString::fromUtf8(ksNodeUtils::getName(node).c_str());
    const FileReferencePtr source = core->getSourceFile();
    const FileReferencePtr smart = core->getSmartFile();
    const QString sourceText = partText(source, nodeName);
    const QString smartText = partText(smart, nodeName);
    if (sourceText.isEmpty() && smartText.isEmpty())
        return std::string();

    QString text = QStringLiteral("[");
    if (!smartText.isEmpty()) {
        text += coloured(smartText, node, core, smart->getState());
        if (!sourceText.isEmpty())
            text += QStringLiteral(" | ");
    }
    if (!sourceText.isEmpty())
        text += coloured(sourceText, node, core, source->getState());
    text += QStringLiteral("]");
    return text.toUtf8().toStdString();
}
