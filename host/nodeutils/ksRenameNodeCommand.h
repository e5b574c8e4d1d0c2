// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"
#include "scenegraph/HandleTypes.h"
#include "undo/ksUndoCommand.h"

#include <string>

// One undoable rename of a node. Keeps the node's id, not the node: a step
// whose node is gone does nothing.
class ksRenameNodeCommand : public ksUndoCommand
{
public:
    ksRenameNodeCommand(const osg::NodePtr& node, const std::string& name, const std::string& text);
    ~ksRenameNodeCommand() override;

    void redo() override;
    void undo() override;

private:
    void apply(const std::string& name);

    osg::UInt32 m_nodeId;
    std::string m_newName;
    std::string m_oldName;
};
