// Licensed under the MIT licence; see LICENSE.
#include "undo/ksMoveNodesCommand.h"

#include "scenegraph/CPEditor.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/Node.h"
#include "tree/ksTreeService.h"
#include "undo/ksParkedNodes.h"

#include <algorithm>

using namespace osg;

namespace {

NodePtr findNode(UInt32 id)
{
    return id ? NodePtr::dcast(FieldContainerFactory::the()->getContainer(id)) : NodePtr();
}

// Insert position (Node::insertChild counts in the list as it is, the node
// included when it is already a child) that leaves `node` at `finalIndex`.
UInt32 insertIndexFor(const NodePtr& parent, const NodePtr& node, UInt32 finalIndex)
{
    UInt32 index = finalIndex;
    const Int32 current = parent->findChild(node);
    if (current >= 0 && UInt32(current) < finalIndex)
        ++index;
    return std::min(index, parent->getNChildren());
}

// Moves `node` under `parent` at insert position `index`, as edits of the
// parents involved.
bool insertInto(const NodePtr& parent, const NodePtr& node, UInt32 index)
{
    const NodePtr oldParent = node->getParent();
    CPEditor editParent(parent, Node::ChildrenFieldMask);
    if (oldParent && oldParent != parent) {
        CPEditor editOld(oldParent, Node::ChildrenFieldMask);
        return parent->insertChild(index, NodeRefPtr(node));
    }
    return parent->insertChild(index, NodeRefPtr(node));
}

// Takes `node` out of its parent into the command's hold, parked.
void takeOut(const NodePtr& node, NodeRefPtr& held)
{
    held = NodeRefPtr(node);
    {
        CPEditor editParent(node->getParent(), Node::ChildrenFieldMask);
        node->getParent()->subChild(node);
    }
    ksParkedNodes::park(node);
}

} // namespace

ksMoveNodesCommand::ksMoveNodesCommand(const ksNodeMovements& movements, QUndoCommand* parent)
    : ksMoveNodesCommand(ksUndoString("Move Nodes", "Scene Commands"), movements, parent)
{
}

ksMoveNodesCommand::ksMoveNodesCommand(const ksUndoString& text, const ksNodeMovements& movements,
                                       QUndoCommand* parent)
    : ksUndoCommand(text, parent)
{
    for (const ksNodeMovements::Movement& movement : movements.getMovements()) {
        const NodePtr node = findNode(movement.node);
        // A node without parent has no other owner to keep it until redo.
        NodeRefPtr held = node && !node->getParent() ? NodeRefPtr(node) : NodeRefPtr();
        m_moves.push_back(Move{movement, 0, 0, false, std::move(held)});
    }
}

ksMoveNodesCommand::~ksMoveNodesCommand() = default;

void ksMoveNodesCommand::redo()
{
    for (Move& move : m_moves) {
        move.applied = false;
        const NodePtr node = findNode(move.movement.node);
        if (!node)
            continue;
        const NodePtr oldParent = node->getParent();
        const Int32 oldIndex = oldParent ? oldParent->findChild(node) : -1;

        if (move.movement.newParent == 0) {
            if (!oldParent)
                continue;
            takeOut(node, move.held);
        } else {
            const NodePtr newParent = findNode(move.movement.newParent);
            if (!newParent)
                continue;
            UInt32 index = newParent->getNChildren();
            if (!move.movement.append) {
                if (move.movement.after == 0) {
                    index = 0;
                } else {
                    const Int32 after = newParent->findChild(findNode(move.movement.after));
                    if (after >= 0)
                        index = UInt32(after) + 1;
                }
            }
            if (!insertInto(newParent, node, index))
                continue;
            move.held.reset();
            if (!oldParent)
                ksParkedNodes::unpark(node);
        }
        move.oldParent = oldParent.getFieldContainerId();
        move.oldIndex = oldIndex >= 0 ? UInt32(oldIndex) : 0;
        move.applied = true;
    }
    ksTreeService::notifyScenegraphChanged();
}

void ksMoveNodesCommand::undo()
{
    for (auto it = m_moves.rbegin(); it != m_moves.rend(); ++it) {
        Move& move = *it;
        if (!move.applied)
            continue;
        move.applied = false;
        const NodePtr node = findNode(move.movement.node);
        // A node moved elsewhere since (or, after a deletion, put somewhere)
        // stays where it is.
        if (!node || node->getParent().getFieldContainerId() != move.movement.newParent)
            continue;
        if (move.oldParent == 0) {
            takeOut(node, move.held);
            continue;
        }
        const NodePtr oldParent = findNode(move.oldParent);
        if (!oldParent)
            continue;
        const bool parked = !node->getParent();
        insertInto(oldParent, node, insertIndexFor(oldParent, node, move.oldIndex));
        if (parked) {
            move.held.reset();
            ksParkedNodes::unpark(node);
        }
    }
    ksTreeService::notifyScenegraphChanged();
}
