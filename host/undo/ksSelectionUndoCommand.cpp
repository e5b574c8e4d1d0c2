// Licensed under the MIT licence; see LICENSE.
#include "undo/ksSelectionUndoCommand.h"

#include "kernel/ksKernelServiceFactory.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/Node.h"
#include "tree/ksTreeService.h"

namespace {

ksTreeService* treeService()
{
    ksKernelServiceFactory& factory = ksKernelServiceFactory::the();
    return factory.has<ksTreeService>() ? factory.get<ksTreeService>() : nullptr;
}

bool isLiveNode(uint id)
{
    return bool(osg::NodePtr::dcast(osg::FieldContainerFactory::the()->getContainer(id)));
}

QList<uint> without(QList<uint> list, const QList<uint>& removed)
{
    for (uint id : removed)
        list.removeAll(id);
    return list;
}

QList<uint> with(QList<uint> list, const QList<uint>& added)
{
    for (uint id : added) {
        if (!list.contains(id))
            list.append(id);
    }
    return list;
}

} // namespace

ksSelectionUndoCommand::ksSelectionUndoCommand(const osg::NodePtr& node, int action, bool restorePrevious,
                                               QUndoCommand* parent)
    : ksSelectionUndoCommand(std::vector<osg::NodePtr>{node}, action, restorePrevious, parent)
{
}

ksSelectionUndoCommand::ksSelectionUndoCommand(const std::vector<osg::NodePtr>& nodes, int action,
                                               bool restorePrevious, QUndoCommand* parent)
    : ksUndoCommand(ksUndoString("Select", "Scene Commands"), parent)
    , m_action(action)
    , m_restorePrevious(restorePrevious)
{
    for (const osg::NodePtr& node : nodes) {
        if (node && !m_nodes.contains(node.getFieldContainerId()))
            m_nodes.append(node.getFieldContainerId());
    }
}

ksSelectionUndoCommand::~ksSelectionUndoCommand() = default;

QList<uint> ksSelectionUndoCommand::liveNodes() const
{
    QList<uint> live;
    for (uint id : m_nodes) {
        if (isLiveNode(id))
            live.append(id);
    }
    return live;
}

void ksSelectionUndoCommand::redo()
{
    m_applied = false;
    ksTreeService* tree = treeService();
    const QList<uint> nodes = liveNodes();
    if (!tree || nodes.isEmpty())
        return;
    m_previous = tree->getSelection();
    switch (m_action) {
    case Add:
        tree->setSelection(with(m_previous, nodes));
        break;
    case Remove:
        tree->setSelection(without(m_previous, nodes));
        break;
    default:
        tree->setSelection(nodes);
        break;
    }
    m_applied = true;
}

void ksSelectionUndoCommand::undo()
{
    ksTreeService* tree = treeService();
    const QList<uint> nodes = liveNodes();
    if (!m_applied || !tree || nodes.isEmpty())
        return;
    m_applied = false;
    if (m_restorePrevious) {
        QList<uint> previous;
        for (uint id : m_previous) {
            if (isLiveNode(id))
                previous.append(id);
        }
        tree->setSelection(previous);
    } else if (m_action == Remove) {
        tree->setSelection(with(tree->getSelection(), nodes));
    } else {
        tree->setSelection(without(tree->getSelection(), nodes));
    }
}

bool ksSelectionUndoCommand::isSelectionOnly() const
{
    return true;
}
