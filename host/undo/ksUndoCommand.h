// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "undo/ksUndoCommandBase.h"
#include "undo/ksUndoString.h"

#include <typeinfo>

// Base of the host's and modules' undo commands. Each command class has its
// own id (makeId of its type), and commands never merge unless a class
// overrides mergeWith.
class ksUndoCommand : public ksUndoCommandBase
{
public:
    explicit ksUndoCommand(const ksUndoString& text, QUndoCommand* parent = nullptr);
    ~ksUndoCommand() override;

    // makeId of the command's dynamic type.
    int id() const override;
    bool mergeWith(const QUndoCommand* other) override;

    // A positive id per type, the same for every call in the process.
    static int makeId(const std::type_info& type);
};
