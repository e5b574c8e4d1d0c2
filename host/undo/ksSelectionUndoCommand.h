// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"
#include "scenegraph/HandleTypes.h"
#include "undo/ksUndoCommand.h"

#include <QList>

#include <vector>

// Changes the selection kept by the tree service (ksTreeService) as an undo
// step. Nodes are kept by id; nodes that are gone are left out, and when all
// of the command's nodes are gone, redo and undo do nothing.
class ksSelectionUndoCommand : public ksUndoCommand
{
public:
    enum Action {
        // The nodes become the selection.
        Replace = 0,
        // The nodes are added to the selection.
        Add = 1,
        // The nodes are taken out of the selection.
        Remove = 2,
    };

    // With `restorePrevious` undo brings back the selection from before the
    // redo; without it undo only reverses the command's own nodes (taking
    // them out after Replace and Add, putting them back after Remove) and
    // keeps what was selected since.
    ksSelectionUndoCommand(const osg::NodePtr& node, int action, bool restorePrevious,
                           QUndoCommand* parent = nullptr);
    ksSelectionUndoCommand(const std::vector<osg::NodePtr>& nodes, int action, bool restorePrevious,
                           QUndoCommand* parent = nullptr);
    ~ksSelectionUndoCommand() override;

    void redo() override;
    void undo() override;
    bool isSelectionOnly() const override;

private:
    QList<uint> liveNodes() const;

    QList<uint> m_nodes;
    int m_action;
    bool m_restorePrevious;
    bool m_applied = false;
    QList<uint> m_previous;
};
