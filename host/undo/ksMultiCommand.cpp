// Licensed under the MIT licence; see LICENSE.
#include "undo/ksMultiCommand.h"

ksMultiCommand::ksMultiCommand(const ksUndoString& text, QUndoCommand* parent)
    : ksUndoCommand(text, parent)
{
}

ksMultiCommand::~ksMultiCommand() = default;

void ksMultiCommand::setChangedCallback(std::function<void()> callback)
{
    m_changed = std::move(callback);
}

void ksMultiCommand::redo()
{
    QUndoCommand::redo();
    if (m_changed)
        m_changed();
}

void ksMultiCommand::undo()
{
    QUndoCommand::undo();
    if (m_changed)
        m_changed();
}
