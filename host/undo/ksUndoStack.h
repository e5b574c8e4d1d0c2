// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QUndoStack>

class QUndoCommand;

// The host's undo stacks, by index; stack 0 holds the scene's steps.
// Main thread only.
class ksUndoStack
{
public:
    // Created on first use, kept for the process.
    static ksUndoStack& get(int index);

    // Executes the command (its redo) and records it as one step; the stack
    // owns it from then on. While recording is off (project loads, scripted
    // batch work), the command is executed and then discarded.
    void addOrExecute(QUndoCommand* command);

    void setRecording(bool recording) { m_recording = recording; }
    bool isRecording() const { return m_recording; }

    QUndoStack& stack() { return m_stack; }
    void undo() { m_stack.undo(); }
    void redo() { m_stack.redo(); }
    int count() const { return m_stack.count(); }
    void clear() { m_stack.clear(); }

    // Clears every stack: commands may hold module code and scene data, so
    // the host drops them before it unloads modules.
    static void clearAll();

private:
    ksUndoStack() = default;

    QUndoStack m_stack;
    bool m_recording = true;
};
