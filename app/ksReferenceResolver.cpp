// Licensed under the MIT licence; see LICENSE.
#include "ksReferenceResolver.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdReferenceNode.h"
#include "kernel/ksInterfaceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceUpdateFlags.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "utils/ksFile.h"

#include <QDir>
#include <QFileInfo>

using namespace osg;

ksReferenceResolver::ksReferenceResolver(const QStringList& searchDirectories)
{
    for (const QString& directory : searchDirectories)
        m_directories << QDir(directory).absolutePath();
}

void ksReferenceResolver::exportSearchPath(const QStringList& directories)
{
    QStringList absolute;
    for (const QString& directory : directories)
        absolute << QDir(directory).absolutePath();
    const QByteArray previous = qgetenv("TALVIK_REFERENCE_SEARCH_PATH");
    if (!previous.isEmpty())
        absolute << QString::fromLocal8Bit(previous);
    qputenv("TALVIK_REFERENCE_SEARCH_PATH", absolute.join(QLatin1Char(':')).toLocal8Bit());
}

ksReferenceResolver::Result ksReferenceResolver::resolveSources(const QString& projectPath) const
{
    Result result;
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    if (!references)
        return result;
    const QDir projectDir = QFileInfo(projectPath).absoluteDir();
    for (const NodePtr& node : references->findExtReferences(ksScenegraph::getRoot(), 0)) {
        const ExtReferencePtr core = references->getExtReference(node);
        const FileReferencePtr source = core ? core->getSourceFile() : FileReferencePtr();
        if (!source || source->getPath().empty())
            continue;
        const QString old = QString::fromStdString(source->getPath());
        if (QFileInfo(old).isFile())
            continue;
        const QString name = QFileInfo(old).fileName();
        QStringList places;
        const QString relative = QString::fromStdString(source->getRelativePath());
        if (!relative.isEmpty() && QDir::isRelativePath(relative))
            places << projectDir.filePath(relative);
        places << projectDir.filePath(name);
        for (const QString& directory : m_directories)
            places << QDir(directory).filePath(name);
        // One entry per file, however many ways lead to it.
        QStringList candidates, canonical;
        for (const QString& place : places) {
            const QFileInfo info(place);
            if (info.isFile() && !canonical.contains(info.canonicalFilePath())) {
                canonical << info.canonicalFilePath();
                candidates << info.absoluteFilePath();
            }
        }
        if (candidates.isEmpty())
            continue;
        QStringList matching;
        const quint32 recorded = source->getChecksum();
        for (const QString& candidate : candidates)
            if (recorded == 0 ? candidates.size() == 1 : ksFile::getChecksum(candidate, 0) == recorded)
                matching << candidate;
        const QString reference = QString::fromStdString(ksNodeUtils::getName(node));
        if (matching.size() != 1) {
            result.ambiguous << QStringLiteral("%1: %2 (%3)").arg(
                reference, candidates.join(QStringLiteral(", ")),
                matching.isEmpty() ? QStringLiteral("none matches the recorded content")
                                   : QStringLiteral("several match the recorded content"));
            continue;
        }
        ksdReferenceNode(ksTypeConverter::convertNode(node)).setSourcePath(matching.first());
        references->updateReferences(node, ksReferenceUpdateFlags::UpdateSourceFileInfo, true);
        result.found << QStringLiteral("%1: %2 -> %3").arg(reference, old, matching.first());
    }
    return result;
}
