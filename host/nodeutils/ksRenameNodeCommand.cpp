// Licensed under the MIT licence; see LICENSE.
#include "nodeutils/ksRenameNodeCommand.h"

#include "nodeutils/ksNodeUtils.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/Node.h"

using namespace osg;

ksRenameNodeCommand::ksRenameNodeCommand(const NodePtr& node, const std::string& name, const std::string& text)
    : ksUndoCommand(ksUndoString(text.c_str(), "Node"))
    , m_nodeId(node.getFieldContainerId())
    , m_newName(name)
    , m_oldName(ksNodeUtils::getName(node))
{
}

ksRenameNodeCommand::~ksRenameNodeCommand() = default;

void ksRenameNodeCommand::redo()
{
    apply(m_newName);
}

void ksRenameNodeCommand::undo()
{
    apply(m_oldName);
}

void ksRenameNodeCommand::apply(const std::string& name)
{
    const NodePtr node = NodePtr::dcast(FieldContainerFactory::the()->getContainer(m_nodeId));
    if (node)
        ksNodeUtils::setName(node, name, true, NodePtr());
}
