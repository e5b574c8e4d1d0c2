// Licensed under the MIT licence; see LICENSE.
#include "ksReferenceResolver.h"

#include "handles/ksTypeConverter.h"
#include "kernel/ksInterfaceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceFindFlags.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceUpdateFlags.h"
#include "references/ksdReferenceNode.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "utils/ksFile.h"

#include <QDir>
#include <QFileInfo>

using namespace osg;

namespace {

// The path of a record whose file is gone; empty when there is nothing to find.
QString missingPath(const FileReferencePtr& record)
{
    if (!record || record->getPath().empty())
        return QString();
    const QString path = QString::fromStdString(record->getPath());
    return QFileInfo(path).isFile() ? QString() : path;
}

} // namespace

ksReferenceResolver::ksReferenceResolver(const QStringList& searchDirectories)
{
    for (const QString& directory : searchDirectories)
        m_directories << QDir(directory).absolutePath();
}

QStringList ksReferenceResolver::resolveSmartFiles() const
{
    QStringList resolved;
    ksReferenceInterface* references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    if (!references)
        return resolved;
    // A smart reference found and loaded may bring nested ones that are
    // missing too; each round looks at what the last one brought.
    for (bool found = true; found;) {
        found = false;
        for (const NodePtr& node :
             references->findExtReferences(ksScenegraph::getRoot(), ksReferenceFindFlags::FindSmartOnly)) {
            const ExtReferencePtr core = references->getExtReference(node);
            const QString old = missingPath(core ? core->getSmartFile() : FileReferencePtr());
            if (old.isEmpty())
                continue;
            // The module looked beside the project while it loaded.
            for (const QString& candidate :
                 ksFile::getSearchCandidates(QString(), QFileInfo(old).fileName(), QString(), m_directories)) {
                if (!ksFile::isFound(candidate))
                    continue;
                ksdReferenceNode handle(ksTypeConverter::convertNode(node));
                handle.setSmartPath(candidate);
                handle.loadSmartReference();
                references->updateReferences(node, ksReferenceUpdateFlags::UpdateFileStates, true);
                resolved << QStringLiteral("%1 (previously %2)").arg(candidate, old);
                found = true;
                break;
            }
        }
    }
    return resolved;
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
        const QString old = missingPath(source);
        if (old.isEmpty())
            continue;
        const QStringList places =
            ksFile::getSearchCandidates(QString::fromStdString(source->getRelativePath()), QFileInfo(old).fileName(),
                                        projectDir.absolutePath(), m_directories);
        // One entry per file, however many ways lead to it.
        QStringList candidates, canonical;
        for (const QString& place : places) {
            const QFileInfo info(place);
            if (ksFile::isFound(place) && !canonical.contains(info.canonicalFilePath())) {
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
