// Licensed under the MIT licence; see LICENSE.
// The scene queries: the pooled cores that hang in the scene, the cores of
// one smart file, and the suffixes of every file the pool knows.
#include "model/ksReferencePool.h"

#include "model/ksMutexLocker.h"
#include "model/ksReferenceNode.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceTypes.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeUtils.h"

using namespace osg;

bool ksReferencePool::hangsInScene(const ExtReferencePtr& core, const NodePtr& sceneRoot)
{
    bool inScene = false;
    if (sceneRoot)
        core->forEachParent([&](const NodePtr& parent) {
            inScene = inScene || NodeUtils::isAncestorOrSelf(sceneRoot, parent);
        });
    return inScene;
}

QList<ExtReferencePtr> ksReferencePool::getExtReferences()
{
    ksStatusSnapshot replaced;
    ksMutexLocker lock(m_mutex);
    // In id order: the cores' memory was handed out in that order, so the
    // pass reads it front to back instead of hopping through the table.
    const ksStatusSnapshot& cores = currentSnapshot(replaced);
    const NodePtr sceneRoot = NodeUtils::getSceneRoot();
    FieldContainerFactory* factory = FieldContainerFactory::the();
    QList<ExtReferencePtr> live;
    live.reserve(cores.size());
    for (const ksStatusSnapshot::Entry& entry : cores) {
        const ExtReferencePtr core = ExtReferencePtr::dcast(factory->getContainer(entry.id));
        if (core && hangsInScene(core, sceneRoot))
            live.append(core);
    }
    return live;
}

std::set<ExtReferencePtr> ksReferencePool::getReferencesWithSameSmartFile(const ExtReferencePtr& ext)
{
    std::set<ExtReferencePtr> cores;
    if (!ext)
        return cores;
    const NodePtr sceneRoot = NodeUtils::getSceneRoot();
    if (m_statuses.contains(ext.getFieldContainerId()) && hangsInScene(ext, sceneRoot))
        cores.insert(ext);
    // Only cores whose smart path names the same file can share it; each is
    // held against the interface's own comparison, which also drops one
    // whose record changed without telling the pool.
    const FileReferencePtr smart = ext->getSmartFile();
    if (!smart || smart->getState() == ksReferenceTypes::NoPath)
        return cores;
    ksReferenceInterface* reference = ksReferenceNode::getReferenceInterface();
    for (const quint32 id : m_smartPaths.coresOf(smart->getPath())) {
        const ExtReferencePtr core = findCore(id);
        if (core && core != ext && hangsInScene(core, sceneRoot) && reference->isSameSmartReference(ext, core))
            cores.insert(core);
    }
    return cores;
}

QStringList ksReferencePool::getFileSuffixes()
{
    QStringList list;
    ksMutexLocker lock(m_mutex);
    list.reserve(m_suffixCounts.size());
    for (auto it = m_suffixCounts.cbegin(); it != m_suffixCounts.cend(); ++it)
        list.append(QString::fromUtf8(it.key()));
    return list;
}
