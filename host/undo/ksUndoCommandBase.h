// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>
#include <QUndoCommand>

// The host's additions to an undo command: a longer description for the
// history panel, the line logged when the step runs, and whether the step
// only changes the selection (such steps do not mark the project modified).
class ksUndoCommandBase : public QUndoCommand
{
public:
    explicit ksUndoCommandBase(QUndoCommand* parent = nullptr);
    ksUndoCommandBase(const QString& text, QUndoCommand* parent);
    ~ksUndoCommandBase() override;

    // The command this one is a child of, or null (Qt keeps it private).
    virtual QUndoCommand* parent() const;
    virtual void setDescription(const QString& description);
    // The description, or the text when none was set.
    virtual QString getDescription() const;
    // "<text>", or "<text>: <description>" when a description was set.
    virtual QString makeMessage() const;
    virtual bool isSelectionOnly() const;

private:
    QUndoCommand* m_parent;
    QString m_description;
};
