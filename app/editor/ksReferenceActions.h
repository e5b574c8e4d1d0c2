// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksdReferenceNode.h"

#include <QList>
#include <QObject>

#include <functional>

class QAction;
class QWidget;

// The editor's actions on references (toolbar, menus, context menu and
// shortcuts share them). Each one runs an operation of ksReferenceOperations
// on the selected references; undo and redo are the host's undo stack's own
// actions, so they carry the module's undo texts.
class ksReferenceActions : public QObject
{
    Q_OBJECT

public:
    enum class Ask { RelinkFile, SearchFolder };
    using Selection = std::function<QList<ksdReferenceNode>()>;
    // Asks the user for a file or folder; empty when cancelled. Tests answer
    // in place of the file dialog.
    using Chooser = std::function<QString(Ask what, const QString& start)>;

    ksReferenceActions(QWidget* window, Selection selection, std::function<QString()> projectPath);

    void setChooser(Chooser chooser) { m_choose = std::move(chooser); }
    // Enables the actions that apply to the current selection.
    void updateEnabled();

    QList<QAction*> referenceActions() const;

    QAction* load;
    QAction* unload;
    QAction* reload;
    QAction* update;
    QAction* relink;
    QAction* newestRevision;
    QAction* createSmart;
    QAction* convertToSmart;
    QAction* remove;
    QAction* saveSmart;
    QAction* saveProject;
    QAction* resolve;
    QAction* settings;
    QAction* undo;
    QAction* redo;

signals:
    // A line for the status bar: what an action did, or why it could not.
    void message(const QString& text);
    // The reference settings were changed (the revision check, for one,
    // changes what the rows show).
    void settingsChanged();

private:
    QAction* make(const QString& text, const QKeySequence& shortcut, void (ksReferenceActions::*run)());
    void runLoad();
    void runUnload();
    void runReload();
    void runUpdate();
    void runRelink();
    void runNewestRevision();
    void runCreateSmart();
    void runConvertToSmart();
    void runRemove();
    void runSaveSmart();
    void runSaveProject();
    void runResolve();
    void runSettings();

    QWidget* m_window;
    Selection m_selection;
    std::function<QString()> m_projectPath;
    Chooser m_choose;
};
