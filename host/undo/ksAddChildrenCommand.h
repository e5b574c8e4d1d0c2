// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "undo/ksMoveNodesCommand.h"

#include <vector>

// Adds nodes as the last children of a parent, as one undo step; undo takes
// them out again (or puts a node that had a parent back where it was). The
// command holds the nodes while they are out of the tree, so undo and redo
// can be repeated; a node or parent that is gone is left out.
class ksAddChildrenCommand : public ksMoveNodesCommand
{
public:
    ksAddChildrenCommand(const osg::NodePtr& parent, const osg::NodePtr& node, QUndoCommand* parentCommand = nullptr);
    ksAddChildrenCommand(const osg::NodePtr& parent, const std::vector<osg::NodePtr>& nodes,
                         QUndoCommand* parentCommand = nullptr);
    ~ksAddChildrenCommand() override;
};
