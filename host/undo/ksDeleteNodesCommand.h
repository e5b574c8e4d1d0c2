// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "undo/ksMoveNodesCommand.h"

#include <vector>

// Deletes nodes as one undo step ("Delete Nodes"): redo takes them out of
// their parents, undo puts each back at its former index. The command keeps
// the nodes while they are out, parked, so the reference pool sees their
// reference cores go and come back; the nodes are destroyed with the
// command. A node without parent (the live root) is left alone.
class ksDeleteNodesCommand : public ksMoveNodesCommand
{
public:
    ksDeleteNodesCommand(const std::vector<osg::NodePtr>& nodes, QUndoCommand* parentCommand = nullptr);
    ~ksDeleteNodesCommand() override;
};
