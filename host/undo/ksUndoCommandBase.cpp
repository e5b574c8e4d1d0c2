// Licensed under the MIT licence; see LICENSE.
#include "undo/ksUndoCommandBase.h"

ksUndoCommandBase::ksUndoCommandBase(QUndoCommand* parent)
    : QUndoCommand(parent)
    , m_parent(parent)
{
}

ksUndoCommandBase::ksUndoCommandBase(const QString& text, QUndoCommand* parent)
    : QUndoCommand(text, parent)
    , m_parent(parent)
{
}

ksUndoCommandBase::~ksUndoCommandBase() = default;

QUndoCommand* ksUndoCommandBase::parent() const
{
    return m_parent;
}

void ksUndoCommandBase::setDescription(const QString& description)
{
    m_description = description;
}

QString ksUndoCommandBase::getDescription() const
{
    return m_description.isEmpty() ? text() : m_description;
}

QString ksUndoCommandBase::makeMessage() const
{
    return m_description.isEmpty() ? text() : text() + QStringLiteral(": ") + m_description;
}

bool ksUndoCommandBase::isSelectionOnly() const
{
    return false;
}
