// Licensed under the MIT licence; see LICENSE.
#include "undo/ksDeleteNodesCommand.h"

namespace {

ksNodeMovements removeAll(const std::vector<osg::NodePtr>& nodes)
{
    ksNodeMovements movements;
    for (const osg::NodePtr& node : nodes)
        movements.remove(node);
    return movements;
}

} // namespace

ksDeleteNodesCommand::ksDeleteNodesCommand(const std::vector<osg::NodePtr>& nodes, QUndoCommand* parentCommand)
    : ksMoveNodesCommand(ksUndoString("Delete Nodes", "Scene Commands"), removeAll(nodes), parentCommand)
{
}

ksDeleteNodesCommand::~ksDeleteNodesCommand() = default;
