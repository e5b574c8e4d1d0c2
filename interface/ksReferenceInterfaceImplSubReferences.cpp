// Licensed under the MIT licence; see LICENSE.
// The interface object's paired operations that take something out of the
// scene for a while and put it back: the content of smart sub-references,
// and the smart records of the whole scene.
#include "interface/ksReferenceInterfaceImpl.h"

#include "model/ksReferenceNode.h"
#include "references/ksReferenceFindFlags.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"

using namespace osg;

void ksReferenceInterfaceImpl::detachSubReferences(const NodePtr& node)
{
    const UInt32 id = node.getFieldContainerId();
    // Detaching again before the attach would drop the list that holds the
    // content moved away the first time. Put it back first, so that one
    // attach always restores everything.
    if (m_detachedSubReferences.count(id))
        attachSubReferences(node);
    m_detachedSubReferences[id] = ksReferenceNode::detachSubReferences(node);
}

void ksReferenceInterfaceImpl::attachSubReferences(const NodePtr& node)
{
    const auto it = m_detachedSubReferences.find(node.getFieldContainerId());
    if (it == m_detachedSubReferences.end())
        return;
    // Out of the map before attaching; the holders are released when the
    // list goes at the end of this call.
    const ksReferenceNode::DetachedList detached = std::move(it->second);
    m_detachedSubReferences.erase(it);
    ksReferenceNode::attachSubReferences(detached);
}

void ksReferenceInterfaceImpl::detachSmartFiles()
{
    // A second detach before the restore would find no records left to take
    // and drop the ones held, losing them: put them back first, so the
    // stash always ends up holding every smart record of the scene.
    if (!m_stashedSmartFiles.empty())
        restoreSmartFiles();

    for (const NodePtr& node : findExtReferences(ksScenegraph::getRoot(), ksReferenceFindFlags::FindSmartOnly)) {
        const ExtReferencePtr core = getExtReference(node);
        // A clone of a core met earlier finds the record already taken.
        if (!core || !core->getSmartFile())
            continue;
        m_stashedSmartFiles[core] = FileReferenceRefPtr(core->getSmartFile());
        // Set without an edit bracket on purpose: nothing is published, so
        // the pool, the monitors and the undo stack never see the record go.
        core->setSmartFile(NullFC);
    }
}

void ksReferenceInterfaceImpl::restoreSmartFiles()
{
    // The map is emptied first, so that the records it held are released
    // only after every core has taken its own back.
    auto stashed = std::move(m_stashedSmartFiles);
    m_stashedSmartFiles.clear();
    for (const auto& [core, record] : stashed) {
        // A core destroyed in the meantime is gone for good; the id tells,
        // since ids are never reused.
        const FieldContainerPtr live = FieldContainerFactory::the()->getContainer(core.getFieldContainerId());
        if (live.getCPtr() != core.getCPtr())
            continue;
        core->setSmartFile(record);
    }
}
