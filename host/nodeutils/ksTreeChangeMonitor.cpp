// Licensed under the MIT licence; see LICENSE.
#include "nodeutils/ksTreeChangeMonitor.h"

#include "scenegraph/ChangeObservers.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainer.h"
#include "scenegraph/Node.h"

using namespace osg;

namespace {

bool isReferenceNode(const NodePtr& node)
{
    const NodeCorePtr core = node ? node->getCore() : NodeCorePtr();
    return core && core->getType().isDerivedFrom(ExtReference::getClassType());
}

} // namespace

ksTreeChangeMonitor::ksTreeChangeMonitor(bool stopAtFirstChange)
    : m_stopAtFirstChange(stopAtFirstChange)
{
}

ksTreeChangeMonitor::~ksTreeChangeMonitor() = default;

void ksTreeChangeMonitor::setChangedCallback(Callback callback)
{
    m_callback = std::move(callback);
}

void ksTreeChangeMonitor::addSkipFields(UInt32 typeId, BitVector mask)
{
    m_skipByType[typeId] |= mask;
}

void ksTreeChangeMonitor::addSkipFields(const FieldContainerPtr& container, BitVector mask)
{
    if (container)
        m_skipByContainer[container.getFieldContainerId()] |= mask;
}

void ksTreeChangeMonitor::setSkipExtReferenceChildren(bool skip)
{
    m_skipExtReferenceChildren = skip;
}

void ksTreeChangeMonitor::setSkipRootVisibility(bool skip)
{
    m_skipRootVisibility = skip;
}

void ksTreeChangeMonitor::setChanged()
{
    if (!m_changed)
        markChanged();
}

void ksTreeChangeMonitor::resetChanged(const NodePtr& node)
{
    m_changed = false;
    m_changeCount = 0;
    m_node = node;
    m_subscription = ChangeObservers::subscribe(node, [this](const ChangeEvent& event) { onChange(event); });
}

void ksTreeChangeMonitor::onChange(const ChangeEvent& event)
{
    if (!counts(event))
        return;
    ++m_changeCount;
    if (m_stopAtFirstChange)
        m_subscription.revoke();
    if (!m_changed)
        markChanged();
}

void ksTreeChangeMonitor::markChanged()
{
    m_changed = true;
    if (!m_callback)
        return;
    // The callback may destroy this monitor; nothing is touched after it.
    const Callback callback = m_callback;
    callback();
}

bool ksTreeChangeMonitor::counts(const ChangeEvent& event) const
{
    const FieldContainer& fc = *event.container;
    BitVector mask = event.mask & fc.getType().getFieldsMask();
    if (mask == 0)
        return false;

    if (m_skipExtReferenceChildren && !event.path.empty()) {
        // A nested reference strictly between the change and the watched node.
        for (std::size_t i = 1; i + 1 < event.path.size(); ++i)
            if (isReferenceNode(event.path[i]))
                return false;
        const NodePtr& first = event.path.front();
        if (event.path.size() > 1 && event.container == first && isReferenceNode(first))
            mask &= ~Node::ChildrenFieldMask;
    }
    if (event.origin == ContentMoveOrigin && fc.getType().isDerivedFrom(Node::getClassType()))
        mask &= ~Node::ChildrenFieldMask;
    if (m_skipRootVisibility && event.container == m_node)
        mask &= ~Node::TravMaskFieldMask;

    if (!m_skipByContainer.empty()) {
        const auto it = m_skipByContainer.find(fc.getId());
        if (it != m_skipByContainer.end())
            mask &= ~it->second;
    }
    if (!m_skipByType.empty()) {
        for (const FieldContainerType* type = &fc.getType(); type; type = type->getParent()) {
            const auto it = m_skipByType.find(type->getId());
            if (it != m_skipByType.end())
                mask &= ~it->second;
        }
    }
    return mask != 0;
}
