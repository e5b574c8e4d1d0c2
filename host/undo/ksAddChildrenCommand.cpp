// Licensed under the MIT licence; see LICENSE.
#include "undo/ksAddChildrenCommand.h"

namespace {

ksNodeMovements appendAll(const osg::NodePtr& parent, const std::vector<osg::NodePtr>& nodes)
{
    ksNodeMovements movements;
    for (const osg::NodePtr& node : nodes)
        movements.add(node, parent);
    return movements;
}

} // namespace

ksAddChildrenCommand::ksAddChildrenCommand(const osg::NodePtr& parent, const osg::NodePtr& node,
                                           QUndoCommand* parentCommand)
    : ksAddChildrenCommand(parent, std::vector<osg::NodePtr>{node}, parentCommand)
{
}

ksAddChildrenCommand::ksAddChildrenCommand(const osg::NodePtr& parent, const std::vector<osg::NodePtr>& nodes,
                                           QUndoCommand* parentCommand)
    : ksMoveNodesCommand(ksUndoString("Add Nodes", "Scene Commands"), appendAll(parent, nodes), parentCommand)
{
}

ksAddChildrenCommand::~ksAddChildrenCommand() = default;
