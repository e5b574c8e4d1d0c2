// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"
#include "undo/ksNodeMovements.h"
#include "undo/ksUndoCommand.h"

#include <vector>

// Moves nodes to new parents as one undo step. Redo carries out the
// movements in order and notes where each node was; undo puts the nodes back
// in reverse order, each at its former index. Each change is an edit of the
// parents' children.
//
// The command keeps nodes by id and holds a node only while it has no parent
// because of the command (a node given without a parent, one whose move was
// undone back to no parent, or one it deleted), so that redo and undo can be
// repeated. Such a held node is parked (ksParkedNodes): its reference cores
// leave the reference pool while it is out and come back with it. A move
// whose node or target is gone does nothing, and undo leaves alone a node
// that was moved elsewhere since. Each redo and undo tells the tree service
// that the scene graph changed.
class ksMoveNodesCommand : public ksUndoCommand
{
public:
    explicit ksMoveNodesCommand(const ksNodeMovements& movements, QUndoCommand* parent = nullptr);
    ~ksMoveNodesCommand() override;

    void redo() override;
    void undo() override;

protected:
    ksMoveNodesCommand(const ksUndoString& text, const ksNodeMovements& movements, QUndoCommand* parent);

private:
    struct Move
    {
        ksNodeMovements::Movement movement;
        osg::UInt32 oldParent;
        osg::UInt32 oldIndex;
        bool applied;
        osg::NodeRefPtr held;
    };

    std::vector<Move> m_moves;
};
