// Licensed under the MIT licence; see LICENSE.
#include "undo/ksUndoStack.h"

#include <QUndoCommand>

#include <map>
#include <memory>

namespace {

std::map<int, std::unique_ptr<ksUndoStack>>& stacks()
{
    // Never destroyed: commands may hold scene data whose own statics are
    // gone at exit; the host clears the stacks at shutdown instead.
    static auto* all = new std::map<int, std::unique_ptr<ksUndoStack>>;
    return *all;
}

} // namespace

ksUndoStack& ksUndoStack::get(int index)
{
    auto& all = stacks();
    auto it = all.find(index);
    if (it == all.end())
        it = all.emplace(index, std::unique_ptr<ksUndoStack>(new ksUndoStack)).first;
    return *it->second;
}

void ksUndoStack::addOrExecute(QUndoCommand* command)
{
    if (!command)
        return;
    if (m_recording) {
        m_stack.push(command);
        return;
    }
    command->redo();
    delete command;
}

void ksUndoStack::clearAll()
{
    for (auto& stack : stacks())
        stack.second->clear();
}
