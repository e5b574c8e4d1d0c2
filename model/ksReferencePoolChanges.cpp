// Licensed under the MIT licence; see LICENSE.
// Change tracking: one tree change monitor per loaded smart core, made on
// first use, tells whether its content was edited since it was loaded or saved.
#include "model/ksReferencePool.h"

#include "model/ksMutexLocker.h"
#include "nodeutils/ksTreeChangeMonitor.h"
#include "references/ksReferenceTypes.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/Transform3D.h"
#include "scenegraph/Traversal.h"
#include "scenegraph/UBRDFMaterial.h"

using namespace osg;

namespace {

// Node flag bit 12: nodes that carry it do not make their reference count as
// changed (the bit belongs to other host code).
constexpr UInt32 ignoreChangesFlag = 0x1000;

} // namespace

std::shared_ptr<ksTreeChangeMonitor> ksReferencePool::getTreeChangeMonitor(const ExtReferencePtr& ext)
{
    std::shared_ptr<ksTreeChangeMonitor>& monitor = m_changeMonitors[ext.getFieldContainerId()];
    if (monitor)
        return monitor;
    monitor = std::make_shared<ksTreeChangeMonitor>(true);
    monitor->setChangedCallback([this] { onContentChanged(); });
    // Bookkeeping is not an edit of the content: the node's flags, the
    // records' owner, time and relative path, the environment that the
    // default environment handling puts back, and the reference's transform.
    monitor->addSkipFields(Node::getClassTypeId(), Node::FlagsFieldMask);
    monitor->addSkipFields(FileReference::getClassTypeId(), FileReference::OwnerFieldMask
                                                                | FileReference::LastModifiedFieldMask
                                                                | FileReference::RelativePathFieldMask);
    monitor->addSkipFields(UBRDFMaterial::getClassTypeId(), UBRDFMaterial::EnvironmentFieldMask);
    monitor->addSkipFields(FieldContainerPtr(ext), Transform3D::getCombinedTransformAttributesMask());
    monitor->setSkipExtReferenceChildren(true);
    monitor->setSkipRootVisibility(true);
    for (const NodePtr& parent : ext->getParents()) {
        monitor->addSkipFields(FieldContainerPtr(parent), Node::FlagsFieldMask | Node::AttachmentsFieldMask
                                                              | Node::TravMaskFieldMask
                                                              | Node::ExternalFlagsFieldMask | Node::IndexFieldMask);
    }
    return monitor;
}

void ksReferencePool::onContentChanged()
{
    // applyUpdates edits records while it holds the mutex; the signal waits
    // until the mutex is free, as every signal of the pool does.
    if (m_suppressFileUpdates) {
        m_modifiedSignalPending = true;
        return;
    }
    emit modifiedStateChanged();
}

bool ksReferencePool::qualifies(const ExtReferencePtr& ext)
{
    if (!ext || ext->getState() != ksReferenceTypes::Loaded)
        return false;
    const FileReferencePtr smart = ext->getSmartFile();
    return smart && smart->getState() != ksReferenceTypes::Missing;
}

bool ksReferencePool::isChanged(const ExtReferencePtr& ext)
{
    if (!qualifies(ext))
        return false;
    return getTreeChangeMonitor(ext)->isChanged();
}

void ksReferencePool::setChanged(const ExtReferencePtr& ext)
{
    if (qualifies(ext))
        getTreeChangeMonitor(ext)->setChanged();
}

void ksReferencePool::resetChanged(const ExtReferencePtr& ext)
{
    if (!qualifies(ext) || ext->getNParents() == 0)
        return;
    getTreeChangeMonitor(ext)->resetChanged(ext->getParents().front());
}

void ksReferencePool::resetAllChanged()
{
    const QList<quint32> ids = m_changeMonitors.keys();
    for (quint32 id : ids) {
        if (const ExtReferencePtr core = ExtReferencePtr::dcast(FieldContainerFactory::the()->getContainer(id)))
            resetChanged(core);
    }
}

bool ksReferencePool::isChangedBelow(const ExtReferencePtr& ext)
{
    if (!ext || ext->getNParents() == 0)
        return false;
    const NodePtr start = ext->getParents().front();
    bool changed = false;
    traverse(start, [&](const NodePtr& node) {
        if (node == start)
            return Action::Continue;
        const ExtReferencePtr core = ExtReferencePtr::dcast(node->getCore());
        if (core && isChanged(core)) {
            changed = true;
            return Action::Quit;
        }
        return Action::Continue;
    });
    return changed;
}

bool ksReferencePool::isSubReferenceChanged(const ExtReferencePtr& ext)
{
    return isChangedBelow(ext);
}

bool ksReferencePool::isSelfOrSubReferenceChanged(const ExtReferencePtr& ext)
{
    return isChanged(ext) || isChangedBelow(ext);
}

unsigned ksReferencePool::getNumChangedReferences()
{
    ksMutexLocker lock(m_mutex);
    unsigned count = 0;
    m_statuses.forEach([&](quint32 id, const ksExtReferenceStatusPtr&) {
        const ExtReferencePtr core = findCore(id);
        if (!core || !isChanged(core))
            return;
        const std::vector<NodePtr> parents = core->getParents();
        std::size_t flagged = 0;
        for (const NodePtr& parent : parents) {
            if (parent->getFlags() & ignoreChangesFlag)
                ++flagged;
        }
        if (flagged != parents.size())
            ++count;
    });
    return count;
}
