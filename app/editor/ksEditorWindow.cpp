// Licensed under the MIT licence; see LICENSE.
#include "ksEditorWindow.h"

#include "ksNotificationBanner.h"
#include "ksProgressDisplay.h"
#include "ksReferenceActions.h"
#include "ksReferenceDetailsPanel.h"
#include "ksReferenceItemModel.h"
#include "ksReferenceOperations.h"
#include "ksSceneView.h"

#include "handles/ksTypeConverter.h"
#include "kernel/ksKernelServiceFactory.h"
#include "notification/ksStyle.h"
#include "references/ksReferenceService.h"
#include "tree/ksTreeService.h"

#include <QAction>
#include <QColor>
#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSet>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

ksReferenceService* referenceService()
{
    auto& factory = ksKernelServiceFactory::the();
    return factory.has<ksReferenceService>() ? factory.get<ksReferenceService>() : nullptr;
}

ksTreeService* treeService()
{
    auto& factory = ksKernelServiceFactory::the();
    return factory.has<ksTreeService>() ? factory.get<ksTreeService>() : nullptr;
}

} // namespace

ksEditorWindow::ksEditorWindow(const QString& projectPath, QWidget* parent)
    : QMainWindow(parent)
    , m_projectPath(projectPath)
    , m_model(new ksReferenceItemModel(this))
    , m_tree(new QTreeView(this))
    , m_details(new ksReferenceDetailsPanel(this))
    , m_banner(new ksNotificationBanner(this))
    , m_actions(new ksReferenceActions(this, [this] { return selectedReferences(); }, [this] { return m_projectPath; }))
    , m_progress(new ksProgressDisplay(this))
    , m_work(new QSplitter(Qt::Horizontal, this))
    , m_summary(new QLabel(this))
{
    setWindowTitle(projectPath.isEmpty() ? tr("Talvik - Reference Editor")
                                         : tr("Talvik - %1 - Reference Editor").arg(QFileInfo(projectPath).fileName()));
    setAcceptDrops(true);

    m_tree->setObjectName(QStringLiteral("referenceTree"));
    m_tree->setModel(m_model);
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setUniformRowHeights(true);
    m_tree->setAlternatingRowColors(true);
    m_tree->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_tree->setDragDropMode(QAbstractItemView::DropOnly);
    m_tree->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_tree->header()->setStretchLastSection(true);
    m_tree->expandAll();
    for (int column = 0; column < ksReferenceItemModel::ColumnCount - 1; ++column)
        m_tree->resizeColumnToContents(column);
    // References that arrive later show their nested ones at once.
    connect(m_model, &QAbstractItemModel::rowsInserted, m_tree, [this](const QModelIndex& parent, int first, int last) {
        for (int row = first; row <= last; ++row)
            m_tree->expandRecursively(m_model->index(row, 0, parent));
    });
    m_tree->addActions(m_actions->referenceActions());

    auto* left = new QSplitter(Qt::Vertical, m_work);
    left->addWidget(m_tree);
    left->addWidget(m_details);
    left->setStretchFactor(0, 3);
    left->setStretchFactor(1, 1);
    m_work->addWidget(left);
    addSceneView();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_banner);
    layout->addWidget(m_work, 1);
    setCentralWidget(central);
    statusBar()->addPermanentWidget(m_summary);
    buildMenus();

    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ksEditorWindow::treeSelectionChanged);
    connect(m_model, &ksReferenceItemModel::filesDropped, this, &ksEditorWindow::importFiles);
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& first, const QModelIndex& last) {
        const QModelIndex current = m_tree->currentIndex();
        if (current.isValid() && current.parent() == first.parent() && current.row() >= first.row() &&
            current.row() <= last.row())
            m_details->refresh();
        scheduleSummary();
    });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, &ksEditorWindow::scheduleSummary);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ksEditorWindow::scheduleSummary);
    connect(m_actions, &ksReferenceActions::settingsChanged, m_model, &ksReferenceItemModel::synchronize);
    connect(m_banner, &ksNotificationBanner::activated, this, &ksEditorWindow::notificationActivated);
    connect(m_actions, &ksReferenceActions::message, this, [this](const QString& text) {
        statusBar()->showMessage(text, 5000);
    });
    if (ksReferenceService* service = referenceService())
        connect(service, &ksReferenceService::sceneSelectionChanged, this, &ksEditorWindow::hostSelectionChanged);
    updateSummary();
    resize(1200, 720);
}

ksEditorWindow::~ksEditorWindow() = default;

void ksEditorWindow::addSceneView()
{
    m_view = new ksSceneView(m_work);
    m_view->setObjectName(QStringLiteral("sceneView"));
    m_work->addWidget(m_view);
    m_work->setStretchFactor(0, 1);
    m_work->setStretchFactor(1, 1);
    // A reference's look follows its row's states: missing wins over
    // outdated, the smart file's over the source's, in the colours the
    // module's status text uses for them (the text itself greys out what is
    // locked or unloaded; the view keeps the state's colour).
    m_view->setLookProvider([this](quint32 nodeId) {
        ksSceneView::Look look;
        const QModelIndex row = m_model->indexOf(nodeId);
        if (!row.isValid())
            return look;
        const int smart = m_model->data(row, ksReferenceItemModel::SmartStateRole).toInt();
        const int source = m_model->data(row, ksReferenceItemModel::SourceStateRole).toInt();
        if (smart == ksReferenceTypes::Missing || source == ksReferenceTypes::Missing)
            look.tint = ksStyle::getReferenceMissingColor();
        else if (smart == ksReferenceTypes::Outdated || source == ksReferenceTypes::Outdated)
            look.tint = ksStyle::getReferenceOutOfDateColor();
        look.edited = m_model->handle(row).isChanged();
        return look;
    });
    // A row's change may be its state or its content (loaded, unloaded,
    // reloaded): the view takes the scene again, which asks the looks too.
    connect(m_model, &QAbstractItemModel::dataChanged, m_view, &ksSceneView::sceneChanged);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, m_view, &ksSceneView::sceneChanged);
    connect(m_model, &QAbstractItemModel::modelReset, m_view, &ksSceneView::sceneChanged);
    if (ksTreeService* tree = treeService())
        connect(tree, &ksTreeService::scenegraphChanged, m_view, &ksSceneView::sceneChanged);
    // Loads, unloads and reloads change content below rows that stay.
    if (ksReferenceService* service = referenceService())
        connect(service, &ksReferenceService::referencesChanged, m_view, &ksSceneView::sceneChanged);
    connect(m_view, &ksSceneView::picked, this, [this](quint32 nodeId) {
        selectNodes(nodeId ? QList<quint32>{nodeId} : QList<quint32>());
    });
}

void ksEditorWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(m_actions->saveProject);
    file->addAction(m_actions->saveSmart);
    file->addSeparator();
    file->addAction(m_actions->resolve);
    file->addAction(m_actions->settings);
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(m_actions->undo);
    edit->addAction(m_actions->redo);

    QMenu* references = menuBar()->addMenu(tr("&References"));
    references->addActions(m_actions->referenceActions());

    QMenu* view = menuBar()->addMenu(tr("&View"));
    QAction* frameAll = view->addAction(tr("Frame &All"), m_view, &ksSceneView::frameAll);
    frameAll->setShortcut(Qt::Key_Home);
    QAction* frameSelection = view->addAction(tr("Frame &Selection"), m_view, &ksSceneView::frameSelection);
    frameSelection->setShortcut(Qt::Key_F);

    QToolBar* bar = addToolBar(tr("References"));
    bar->setObjectName(QStringLiteral("referenceToolBar"));
    bar->addAction(m_actions->undo);
    bar->addAction(m_actions->redo);
    bar->addSeparator();
    bar->addAction(m_actions->load);
    bar->addAction(m_actions->unload);
    bar->addAction(m_actions->reload);
    bar->addAction(m_actions->update);
    bar->addAction(m_actions->newestRevision);
    bar->addSeparator();
    bar->addAction(m_actions->createSmart);
    bar->addAction(m_actions->remove);
    bar->addSeparator();
    bar->addAction(m_actions->saveProject);
}

void ksEditorWindow::addWorkPane(QWidget* pane)
{
    m_work->addWidget(pane);
}

QList<ksdReferenceNode> ksEditorWindow::selectedReferences() const
{
    QList<ksdReferenceNode> nodes;
    for (const QModelIndex& index : m_tree->selectionModel()->selectedRows())
        nodes << m_model->handle(index);
    return nodes;
}

void ksEditorWindow::selectNodes(const QList<quint32>& nodeIds)
{
    QItemSelection selection;
    for (quint32 id : nodeIds) {
        const QModelIndex index = m_model->indexOf(id);
        if (index.isValid())
            selection.select(index, m_model->indexOf(id, ksReferenceItemModel::ColumnCount - 1));
    }
    m_tree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty())
        m_tree->scrollTo(selection.first().topLeft());
}

void ksEditorWindow::treeSelectionChanged()
{
    const QList<ksdReferenceNode> selected = selectedReferences();
    m_details->setReference(selected.size() == 1 ? selected.first() : ksdReferenceNode());
    m_actions->updateEnabled();
    if (m_syncingSelection)
        return;
    QList<uint> ids;
    for (const ksdReferenceNode& node : selected)
        ids << node.getObjectId();
    m_view->setSelection(QSet<quint32>(ids.begin(), ids.end()));
    m_syncingSelection = true;
    if (ksTreeService* tree = treeService())
        tree->setSelection(ids);
    m_syncingSelection = false;
}

void ksEditorWindow::hostSelectionChanged(const QList<ksdReferenceNode>& nodes)
{
    if (m_syncingSelection)
        return;
    QList<quint32> ids;
    for (const ksdReferenceNode& node : nodes)
        ids << node.getObjectId();
    m_view->setSelection(QSet<quint32>(ids.begin(), ids.end()));
    m_syncingSelection = true;
    selectNodes(ids);
    m_syncingSelection = false;
}

void ksEditorWindow::notificationActivated(const QString& text)
{
    // The module's two notifications name what they are about by their text.
    const QString missing = QCoreApplication::translate("ksForegroundTextContext",
                                                        "Reference(s) missing, see Reference Editor.");
    const QString updates = QCoreApplication::translate("ksForegroundTextContext",
                                                        "Reference update(s) available, see Reference Editor.");
    if (text == missing)
        selectNodes(m_model->nodesInState(ksReferenceTypes::Missing));
    else if (text == updates)
        selectNodes(m_model->nodesInState(ksReferenceTypes::Outdated));
}

void ksEditorWindow::scheduleSummary()
{
    // Once per turn of the event loop: a report changes many rows at once.
    if (m_summaryPending)
        return;
    m_summaryPending = true;
    QTimer::singleShot(0, this, &ksEditorWindow::updateSummary);
}

void ksEditorWindow::updateSummary()
{
    m_summaryPending = false;
    m_actions->updateEnabled();
    m_summary->setText(tr("%n reference(s)", nullptr, m_model->referenceCount()) + QStringLiteral(", ") +
                       tr("%n missing", nullptr, m_model->nodesInState(ksReferenceTypes::Missing).size()) +
                       QStringLiteral(", ") +
                       tr("%n outdated", nullptr, m_model->nodesInState(ksReferenceTypes::Outdated).size()));
}

void ksEditorWindow::importFiles(const QStringList& paths, quint32 parentId)
{
    const QStringList errors = ksReferenceOperations::importFiles(paths, parentId);
    statusBar()->showMessage(errors.isEmpty() ? tr("Imported %n file(s)", nullptr, paths.size())
                                              : errors.join(QStringLiteral("; ")),
                             8000);
}

void ksEditorWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ksEditorWindow::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    importFiles(paths, 0);
}

bool ksEditorWindow::saveScreenshot(const QString& path)
{
    return grab().save(path, "PNG");
}
