// Licensed under the MIT licence; see LICENSE.
#include "undo/ksUndoString.h"

#include <QCoreApplication>

ksUndoString::ksUndoString(const char* text, const char* context)
    : m_text(text)
    , m_context(context)
{
}

QString ksUndoString::toString() const
{
    return QCoreApplication::translate(m_context.constData(), m_text.constData());
}
