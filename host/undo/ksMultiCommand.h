// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "undo/ksUndoCommand.h"

#include <functional>

// One undo step made of child commands (constructed with this command as
// their parent): redo runs them in order, undo in reverse order. The changed
// callback runs after each redo and undo, once for the whole step.
class ksMultiCommand : public ksUndoCommand
{
public:
    explicit ksMultiCommand(const ksUndoString& text, QUndoCommand* parent = nullptr);
    ~ksMultiCommand() override;

    void setChangedCallback(std::function<void()> callback);

    void redo() override;
    void undo() override;

private:
    std::function<void()> m_changed;
};
