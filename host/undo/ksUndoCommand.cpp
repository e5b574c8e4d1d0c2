// Licensed under the MIT licence; see LICENSE.
#include "undo/ksUndoCommand.h"

#include <QMutex>

#include <map>
#include <typeindex>

ksUndoCommand::ksUndoCommand(const ksUndoString& text, QUndoCommand* parent)
    : ksUndoCommandBase(text.toString(), parent)
{
}

ksUndoCommand::~ksUndoCommand() = default;

int ksUndoCommand::id() const
{
    return makeId(typeid(*this));
}

bool ksUndoCommand::mergeWith(const QUndoCommand*)
{
    return false;
}

int ksUndoCommand::makeId(const std::type_info& type)
{
    static QMutex mutex;
    static std::map<std::type_index, int>* ids = new std::map<std::type_index, int>;
    QMutexLocker lock(&mutex);
    const auto inserted = ids->emplace(std::type_index(type), static_cast<int>(ids->size()) + 1);
    return inserted.first->second;
}
