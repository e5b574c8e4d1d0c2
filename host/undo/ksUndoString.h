// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QByteArray>
#include <QString>

// The text of an undo step, kept untranslated with its translation context
// so that the history shows it in the user's language:
// ksUndoString("Set File Reference", "SmartField").
class ksUndoString
{
public:
    ksUndoString(const char* text, const char* context);

    QString toString() const;
    operator QString() const { return toString(); }

    const QByteArray& text() const { return m_text; }
    const QByteArray& context() const { return m_context; }

private:
    QByteArray m_text;
    QByteArray m_context;
};
