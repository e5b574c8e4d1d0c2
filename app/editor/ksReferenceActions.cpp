// Licensed under the MIT licence; see LICENSE.
#include "ksReferenceActions.h"

#include "ksReferenceOperations.h"
#include "ksReferenceSettingsDialog.h"

#include "kernel/ksKernelServiceFactory.h"
#include "references/ksReferenceService.h"
#include "undo/ksUndoStack.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

namespace {

QString askWithDialog(QWidget* window, ksReferenceActions::Ask what, const QString& start)
{
    if (what == ksReferenceActions::Ask::RelinkFile)
        return QFileDialog::getOpenFileName(window, QObject::tr("Relink to file"), start);
    return QFileDialog::getExistingDirectory(window, QObject::tr("Folder to search for missing files"), start);
}

} // namespace

ksReferenceActions::ksReferenceActions(QWidget* window, Selection selection, std::function<QString()> projectPath)
    : QObject(window)
    , m_window(window)
    , m_selection(std::move(selection))
    , m_projectPath(std::move(projectPath))
    , m_choose([window](Ask what, const QString& start) { return askWithDialog(window, what, start); })
{
    load = make(tr("&Load"), QKeySequence(Qt::CTRL + Qt::Key_L), &ksReferenceActions::runLoad);
    unload = make(tr("&Unload"), QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_L), &ksReferenceActions::runUnload);
    reload = make(tr("&Reload"), QKeySequence(Qt::Key_F5), &ksReferenceActions::runReload);
    update = make(tr("Update from &File"), QKeySequence(Qt::CTRL + Qt::Key_U), &ksReferenceActions::runUpdate);
    relink = make(tr("Re&link to File..."), QKeySequence(Qt::CTRL + Qt::Key_K), &ksReferenceActions::runRelink);
    newestRevision = make(tr("Switch to &Newest Revision"), QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_N),
                          &ksReferenceActions::runNewestRevision);
    createSmart = make(tr("&Create Smart Reference"), QKeySequence(Qt::CTRL + Qt::Key_N),
                       &ksReferenceActions::runCreateSmart);
    convertToSmart = make(tr("Con&vert to Smart"), QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_M),
                          &ksReferenceActions::runConvertToSmart);
    remove = make(tr("Re&move Reference"), QKeySequence(QKeySequence::Delete), &ksReferenceActions::runRemove);
    saveSmart = make(tr("Save Smart References"), QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_S),
                     &ksReferenceActions::runSaveSmart);
    saveProject = make(tr("&Save Project"), QKeySequence(QKeySequence::Save), &ksReferenceActions::runSaveProject);
    resolve = make(tr("&Resolve Missing Files..."), QKeySequence(Qt::CTRL + Qt::Key_R), &ksReferenceActions::runResolve);
    settings = make(tr("Reference &Settings..."), QKeySequence(Qt::CTRL + Qt::Key_Comma),
                    &ksReferenceActions::runSettings);

    QUndoStack& stack = ksUndoStack::get(0).stack();
    undo = stack.createUndoAction(this, tr("Undo"));
    undo->setShortcut(QKeySequence::Undo);
    redo = stack.createRedoAction(this, tr("Redo"));
    redo->setShortcut(QKeySequence::Redo);
    for (QAction* action : {undo, redo}) {
        action->setShortcutContext(Qt::WindowShortcut);
        window->addAction(action);
    }
}

QAction* ksReferenceActions::make(const QString& text, const QKeySequence& shortcut, void (ksReferenceActions::*run)())
{
    auto* action = new QAction(text, this);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, run);
    m_window->addAction(action);
    return action;
}

QList<QAction*> ksReferenceActions::referenceActions() const
{
    return {load, unload, reload, update, relink, newestRevision, createSmart, convertToSmart, remove};
}

void ksReferenceActions::updateEnabled()
{
    const QList<ksdReferenceNode> selected = m_selection();
    bool unlocked = false, loaded = false, notLoaded = false, outdated = false, withoutSmart = false;
    for (const ksdReferenceNode& node : selected) {
        if (node.isLocked())
            continue;
        unlocked = true;
        (node.isLoaded() ? loaded : notLoaded) = true;
        outdated |= node.getSmartFileState() == ksReferenceTypes::Outdated ||
                    node.getSourceFileState() == ksReferenceTypes::Outdated;
        withoutSmart |= !node.hasSmartReference();
    }
    load->setEnabled(notLoaded);
    unload->setEnabled(loaded);
    reload->setEnabled(unlocked);
    update->setEnabled(outdated);
    relink->setEnabled(unlocked && selected.size() == 1);
    newestRevision->setEnabled(unlocked && selected.size() == 1);
    convertToSmart->setEnabled(withoutSmart);
    remove->setEnabled(unlocked);
    createSmart->setEnabled(true);
    saveProject->setEnabled(!m_projectPath().isEmpty());
}

void ksReferenceActions::runLoad()
{
    ksReferenceOperations::load(m_selection());
}

void ksReferenceActions::runUnload()
{
    ksReferenceOperations::unload(m_selection());
}

void ksReferenceActions::runReload()
{
    ksReferenceOperations::reload(m_selection());
}

void ksReferenceActions::runUpdate()
{
    const int count = ksReferenceOperations::update(m_selection());
    emit message(tr("%n reference(s) updated", nullptr, count));
}

void ksReferenceActions::runRelink()
{
    const QList<ksdReferenceNode> selected = m_selection();
    if (selected.size() != 1)
        return;
    const ksdReferenceNode node = selected.first();
    const QString current = !node.getSourcePath().isEmpty() ? node.getSourcePath() : node.getSmartPath();
    const QString path = m_choose(Ask::RelinkFile, QFileInfo(current).absolutePath());
    if (path.isEmpty())
        return;
    emit message(ksReferenceOperations::relink(node, path) ? tr("Relinked to %1").arg(path)
                                                          : tr("Could not relink to %1").arg(path));
}

void ksReferenceActions::runNewestRevision()
{
    const QList<ksdReferenceNode> selected = m_selection();
    if (selected.size() != 1)
        return;
    const QString path = ksReferenceOperations::newestRevisionPath(selected.first());
    if (path.isEmpty()) {
        emit message(tr("No newer revision (is the revision check on?)"));
        return;
    }
    ksReferenceOperations::relink(selected.first(), path);
    emit message(tr("Switched to %1").arg(QFileInfo(path).fileName()));
}

void ksReferenceActions::runCreateSmart()
{
    const QList<ksdReferenceNode> selected = m_selection();
    ksReferenceOperations::createSmartReference(selected.isEmpty() ? ksdNode() : ksdNode(selected.first()));
}

void ksReferenceActions::runConvertToSmart()
{
    ksReferenceOperations::convertToSmart(m_selection());
}

void ksReferenceActions::runRemove()
{
    ksReferenceOperations::remove(m_selection());
}

void ksReferenceActions::runSaveSmart()
{
    emit message(ksReferenceOperations::saveSmartReferences(m_projectPath()) ? tr("Smart references saved")
                                                                            : tr("Saving smart references failed"));
}

void ksReferenceActions::runSaveProject()
{
    const QString project = m_projectPath();
    emit message(ksReferenceOperations::saveProject(project) ? tr("Saved %1").arg(project)
                                                             : tr("Saving %1 failed").arg(project));
}

void ksReferenceActions::runResolve()
{
    const QString folder = m_choose(Ask::SearchFolder, QFileInfo(m_projectPath()).absolutePath());
    if (folder.isEmpty())
        return;
    const QStringList found = ksReferenceOperations::resolve({folder}, m_projectPath());
    emit message(tr("%n file(s) found again", nullptr, found.size()));
}

void ksReferenceActions::runSettings()
{
    auto& factory = ksKernelServiceFactory::the();
    ksReferenceSettingsDialog dialog(factory.has<ksReferenceService>() ? factory.get<ksReferenceService>() : nullptr,
                                     m_window);
    if (dialog.exec() == QDialog::Accepted)
        emit settingsChanged();
}
