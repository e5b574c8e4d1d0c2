// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksdReferenceNode.h"

#include <QMainWindow>

class QLabel;
class QSplitter;
class QTreeView;
class ksNotificationBanner;
class ksProgressDisplay;
class ksReferenceActions;
class ksReferenceDetailsPanel;
class ksReferenceItemModel;
class ksSceneView;

// The host's main window with the Reference Editor: the notification banner
// on top, below it the reference tree with the details of the selected
// reference, and the actions in menus, toolbar and context menu. The tree's
// selection is the host's selection (the tree service's), both ways.
//
// The work area is a horizontal splitter whose first pane holds the tree and
// the details; views of the scene go beside it (addWorkPane).
class ksEditorWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit ksEditorWindow(const QString& projectPath = QString(), QWidget* parent = nullptr);
    ~ksEditorWindow() override;

    void addWorkPane(QWidget* pane);

    ksReferenceItemModel* model() const { return m_model; }
    QTreeView* tree() const { return m_tree; }
    ksReferenceActions* actions() const { return m_actions; }
    ksNotificationBanner* banner() const { return m_banner; }
    ksReferenceDetailsPanel* details() const { return m_details; }
    ksProgressDisplay* progress() const { return m_progress; }
    ksSceneView* sceneView() const { return m_view; }
    QString projectPath() const { return m_projectPath; }

    QList<ksdReferenceNode> selectedReferences() const;
    // Selects the rows of these nodes (in the tree and in the host).
    void selectNodes(const QList<quint32>& nodeIds);
    // Renders the window as it is now into a PNG file.
    bool saveScreenshot(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenus();
    void importFiles(const QStringList& paths, quint32 parentId);
    void treeSelectionChanged();
    void hostSelectionChanged(const QList<ksdReferenceNode>& nodes);
    void notificationActivated(const QString& text);
    void scheduleSummary();
    void addSceneView();
    void updateSummary();

    QString m_projectPath;
    ksReferenceItemModel* m_model;
    QTreeView* m_tree;
    ksReferenceDetailsPanel* m_details;
    ksNotificationBanner* m_banner;
    ksReferenceActions* m_actions;
    ksProgressDisplay* m_progress;
    QSplitter* m_work;
    ksSceneView* m_view = nullptr;
    QLabel* m_summary;
    bool m_syncingSelection = false;
    bool m_summaryPending = false;
};
