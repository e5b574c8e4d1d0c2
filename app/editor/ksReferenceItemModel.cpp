// Licensed under the MIT licence; see LICENSE.
#include "ksReferenceItemModel.h"

#include "handles/ksTypeConverter.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceFindFlags.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/Node.h"
#include "undo/ksUndoStack.h"

#include <QColor>
#include <QFileInfo>
#include <QFont>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <unordered_set>

using namespace osg;

namespace {

QString fileText(const ksReferenceTable::File& file)
{
    if (file.state == ksReferenceTypes::NoReference)
        return QString();
    return file.path.isEmpty() ? QStringLiteral("(no path)") : QFileInfo(file.path).fileName();
}

QString stateText(const ksReferenceTable::File& file)
{
    return file.state == ksReferenceTypes::NoReference ? QString() : ksReferenceTable::stateName(file.state);
}

// Where the file the reference loads from lies: the smart file's folder, else the source's.
QString foundIn(const ksReferenceTable::Row& row)
{
    const QString path = !row.smart.path.isEmpty() ? row.smart.path : row.source.path;
    return path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
}

QStringList localFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data)
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

} // namespace

ksReferenceItemModel::ksReferenceItemModel(QObject* parent)
    : QAbstractItemModel(parent)
{
    auto& factory = ksKernelServiceFactory::the();
    m_service = factory.has<ksReferenceService>() ? factory.get<ksReferenceService>() : nullptr;
    m_references = ksInterfaceFactory::the().get<ksReferenceInterface>();
    if (m_service) {
        connect(m_service, &ksReferenceService::referencesChanged, this, &ksReferenceItemModel::refresh);
        connect(m_service, &ksReferenceService::referenceCreated, this, &ksReferenceItemModel::scheduleSync);
        connect(m_service, &ksReferenceService::sceneHasReferences, this, &ksReferenceItemModel::scheduleSync);
        connect(m_service, &ksReferenceService::referenceEditStateChagned, this,
                &ksReferenceItemModel::refreshEditStates);
        // Monitoring switched on or off changes the status text's colours.
        connect(m_service, &ksReferenceService::updateMonitoringChanged, this, &ksReferenceItemModel::scheduleSync);
    }
    // Undo, redo and node moves reach the scene without naming references.
    connect(ksScenegraph::instance(), &ksScenegraph::updated, this, &ksReferenceItemModel::scheduleSync);
    connect(ksScenegraph::instance(), &ksScenegraph::sceneReplaced, this, &ksReferenceItemModel::scheduleSync);
    connect(&ksUndoStack::get(0).stack(), &QUndoStack::indexChanged, this, &ksReferenceItemModel::scheduleSync);
    synchronize();
}

ksReferenceItemModel::~ksReferenceItemModel() = default;

void ksReferenceItemModel::scheduleSync()
{
    if (m_syncPending)
        return;
    m_syncPending = true;
    QTimer::singleShot(0, this, &ksReferenceItemModel::synchronize);
}

std::vector<quint32> ksReferenceItemModel::childReferences(quint32 nodeId) const
{
    std::vector<quint32> ids;
    if (!m_references)
        return ids;
    const NodePtr start = nodeId ? ksTypeConverter::convertNode(ksTypeConverter::convertNode(nodeId))
                                 : ksScenegraph::getRoot();
    if (!start)
        return ids;
    unsigned flags = ksReferenceFindFlags::FindFirstOnly;
    if (nodeId)
        flags |= ksReferenceFindFlags::FindExcludeStart;
    for (const NodePtr& node : m_references->findExtReferences(start, flags))
        ids.push_back(node->getId());
    return ids;
}

bool ksReferenceItemModel::read(Item* item) const
{
    const NodePtr node = ksTypeConverter::convertNode(ksTypeConverter::convertNode(item->nodeId));
    ksReferenceTable::Row row = ksReferenceTable::readRow(node, false);
    const ksdReferenceNode handle(ksTypeConverter::convertNode(node));
    // Without the revision check the handle answers empty, after preparing
    // its revision lookup: not worth it for every row of a large scene.
    QString revision;
    if (m_service && m_service->isRevisionCheckEnabled())
        revision = !row.source.path.isEmpty() ? handle.getSourceRevision() : handle.getSmartRevision();
    const bool locked = node && ksNodeUtils::getLock(node);
    const bool selectable = !node || ksNodeUtils::isSelectable(node);
    const auto same = [](const ksReferenceTable::File& a, const ksReferenceTable::File& b) {
        return a.path == b.path && a.state == b.state && a.colour == b.colour;
    };
    const bool changed = row.name != item->data.name || !same(row.smart, item->data.smart) ||
                         !same(row.source, item->data.source) || row.loaded != item->data.loaded ||
                         row.edited != item->data.edited || revision != item->revision || locked != item->locked ||
                         selectable != item->selectable;
    item->data = row;
    item->revision = revision;
    item->locked = locked;
    item->selectable = selectable;
    return changed;
}

std::unique_ptr<ksReferenceItemModel::Item> ksReferenceItemModel::makeItem(quint32 nodeId, Item* parent)
{
    auto item = std::make_unique<Item>();
    item->nodeId = nodeId;
    item->parent = parent;
    read(item.get());
    m_items.insert(nodeId, item.get());
    for (quint32 child : childReferences(nodeId)) {
        item->children.push_back(makeItem(child, item.get()));
        item->children.back()->row = int(item->children.size()) - 1;
    }
    return item;
}

void ksReferenceItemModel::forget(Item* item)
{
    for (const auto& child : item->children)
        forget(child.get());
    m_items.remove(item->nodeId);
}

void ksReferenceItemModel::renumber(Item* item, int from)
{
    for (int i = from; i < int(item->children.size()); ++i)
        item->children[i]->row = i;
}

void ksReferenceItemModel::synchronize()
{
    m_syncPending = false;
    syncChildren(&m_root);
    if (!m_resetNeeded)
        return;
    m_resetNeeded = false;
    beginResetModel();
    m_items.clear();
    m_root.children.clear();
    for (quint32 id : childReferences(0))
        m_root.children.push_back(makeItem(id, &m_root));
    renumber(&m_root, 0);
    endResetModel();
}

void ksReferenceItemModel::syncChildren(Item* item)
{
    const std::vector<quint32> wanted = childReferences(item->nodeId);
    const QModelIndex parentIndex = indexOf(item, 0);
    auto& children = item->children;

    // Sets, not searches: the root may hold ten thousands of references.
    std::unordered_set<quint32> wantedSet(wanted.begin(), wanted.end());
    const auto stays = [&](int i) { return wantedSet.count(children[i]->nodeId) != 0; };

    // Rows whose node is no longer a child go first, in runs from the end.
    for (int i = int(children.size()) - 1; i >= 0;) {
        if (stays(i)) {
            --i;
            continue;
        }
        int first = i;
        while (first > 0 && !stays(first - 1))
            --first;
        beginRemoveRows(parentIndex, first, i);
        for (int k = first; k <= i; ++k)
            forget(children[k].get());
        children.erase(children.begin() + first, children.begin() + i + 1);
        renumber(item, first);
        endRemoveRows();
        i = first - 1;
    }

    // What stays keeps its order unless the scene reordered it; a reordered
    // parent is rebuilt, which is rare (moves of whole references).
    std::unordered_set<quint32> keptSet;
    for (const auto& child : children)
        keptSet.insert(child->nodeId);
    std::vector<quint32> wantedKept;
    for (quint32 id : wanted)
        if (keptSet.count(id))
            wantedKept.push_back(id);
    bool sameOrder = true;
    for (std::size_t k = 0; k < children.size() && sameOrder; ++k)
        sameOrder = children[k]->nodeId == wantedKept[k];
    if (!sameOrder) {
        beginRemoveRows(parentIndex, 0, int(children.size()) - 1);
        for (const auto& child : children)
            forget(child.get());
        children.clear();
        endRemoveRows();
        keptSet.clear();
    }

    // What is left is in the scene's order, so every other wanted node is new
    // here; each run of them is inserted at once.
    for (int i = 0; i < int(wanted.size());) {
        if (i < int(children.size()) && children[i]->nodeId == wanted[i]) {
            ++i;
            continue;
        }
        int last = i;
        while (last + 1 < int(wanted.size()) && !keptSet.count(wanted[last + 1]))
            ++last;
        // A node shown under another parent (it moved) leaves there first;
        // one that holds this row's item in the old tree turned the tree
        // inside out: the model starts again once this pass is out.
        for (int k = i; k <= last; ++k) {
            Item* elsewhere = m_items.value(wanted[k]);
            if (!elsewhere)
                continue;
            for (const Item* up = item; up; up = up->parent) {
                if (up == elsewhere) {
                    m_resetNeeded = true;
                    return;
                }
            }
            Item* oldParent = elsewhere->parent;
            const int row = elsewhere->row;
            beginRemoveRows(indexOf(oldParent, 0), row, row);
            forget(elsewhere);
            oldParent->children.erase(oldParent->children.begin() + row);
            renumber(oldParent, row);
            endRemoveRows();
        }
        beginInsertRows(parentIndex, i, last);
        for (int k = i; k <= last; ++k)
            children.insert(children.begin() + k, makeItem(wanted[k], item));
        renumber(item, i);
        endInsertRows();
        i = last + 1;
    }

    // By row number: a node that moved from a later sibling into an earlier
    // one leaves this list while it is walked.
    for (std::size_t c = 0; c < children.size();) {
        Item* child = children[c].get();
        if (read(child))
            emit dataChanged(indexOf(child, 0), indexOf(child, ColumnCount - 1));
        syncChildren(child);
        if (m_resetNeeded)
            return;
        c = std::size_t(child->row) + 1;
    }
}

void ksReferenceItemModel::refresh(const QList<ksdReferenceNode>& nodes)
{
    if (nodes.isEmpty()) {
        scheduleSync();
        return;
    }
    for (const ksdReferenceNode& node : nodes) {
        Item* item = m_items.value(node.getObjectId());
        if (!item) {
            scheduleSync();
            continue;
        }
        if (read(item))
            emit dataChanged(indexOf(item, 0), indexOf(item, ColumnCount - 1));
    }
}

void ksReferenceItemModel::refreshEditStates()
{
    for (Item* item : qAsConst(m_items)) {
        const bool edited = ksdReferenceNode(ksTypeConverter::convertNode(item->nodeId)).isChanged();
        if (edited == item->data.edited)
            continue;
        item->data.edited = edited;
        const QModelIndex cell = indexOf(item, Edited);
        emit dataChanged(cell, cell);
    }
}

ksReferenceItemModel::Item* ksReferenceItemModel::itemOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Item*>(index.internalPointer()) : const_cast<Item*>(&m_root);
}

QModelIndex ksReferenceItemModel::indexOf(const Item* item, int column) const
{
    if (!item || item == &m_root)
        return QModelIndex();
    return createIndex(item->row, column, const_cast<Item*>(item));
}

QModelIndex ksReferenceItemModel::indexOf(quint32 nodeId, int column) const
{
    return indexOf(m_items.value(nodeId), column);
}

ksdReferenceNode ksReferenceItemModel::handle(const QModelIndex& index) const
{
    return index.isValid() ? ksdReferenceNode(ksTypeConverter::convertNode(itemOf(index)->nodeId)) : ksdReferenceNode();
}

QList<quint32> ksReferenceItemModel::nodesInState(ksReferenceTypes::FileState state) const
{
    QList<quint32> ids;
    std::vector<const Item*> stack{&m_root};
    while (!stack.empty()) {
        const Item* item = stack.back();
        stack.pop_back();
        if (item != &m_root && (item->data.smart.state == state || item->data.source.state == state))
            ids << item->nodeId;
        for (auto it = item->children.rbegin(); it != item->children.rend(); ++it)
            stack.push_back(it->get());
    }
    return ids;
}

QModelIndex ksReferenceItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= ColumnCount || (parent.isValid() && parent.column() != 0))
        return QModelIndex();
    const Item* item = itemOf(parent);
    if (row < 0 || row >= int(item->children.size()))
        return QModelIndex();
    return createIndex(row, column, item->children[row].get());
}

QModelIndex ksReferenceItemModel::parent(const QModelIndex& child) const
{
    return child.isValid() ? indexOf(itemOf(child)->parent, 0) : QModelIndex();
}

int ksReferenceItemModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(itemOf(parent)->children.size());
}

int ksReferenceItemModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QVariant ksReferenceItemModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const Item* item = itemOf(index);
    const ksReferenceTable::Row& row = item->data;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case Name: return row.name;
        case SmartFile: return fileText(row.smart);
        case SmartState: return stateText(row.smart);
        case SourceFile: return fileText(row.source);
        case SourceState: return stateText(row.source);
        case Loaded: return row.loaded ? tr("yes") : tr("no");
        case Edited: return row.edited ? tr("yes") : tr("no");
        case Revision: return item->revision;
        case FoundIn: return foundIn(row);
        }
        break;
    case Qt::ToolTipRole:
        if (index.column() == SmartFile || index.column() == SmartState)
            return row.smart.path;
        if (index.column() == SourceFile || index.column() == SourceState)
            return row.source.path;
        if (index.column() == Name && item->locked)
            return tr("locked");
        break;
    case Qt::ForegroundRole: {
        // The module's status colours; plain text when it gives none
        // (monitoring off, or no file for that part).
        const bool smartColumn = index.column() == SmartFile || index.column() == SmartState;
        const bool sourceColumn = index.column() == SourceFile || index.column() == SourceState;
        const QString colour = smartColumn ? row.smart.colour : sourceColumn ? row.source.colour : QString();
        if (!colour.isEmpty())
            return QColor(colour);
        if (item->locked || !item->selectable)
            return QColor(Qt::gray);
        break;
    }
    case Qt::FontRole:
        if (item->locked) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        break;
    case NodeIdRole: return item->nodeId;
    case SmartStateRole: return int(row.smart.state);
    case SourceStateRole: return int(row.source.state);
    }
    return QVariant();
}

QVariant ksReferenceItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case Name: return tr("Reference");
    case SmartFile: return tr("Smart file");
    case SmartState: return tr("Smart state");
    case SourceFile: return tr("Source file");
    case SourceState: return tr("Source state");
    case Loaded: return tr("Loaded");
    case Edited: return tr("Edited");
    case Revision: return tr("Revision");
    case FoundIn: return tr("Found in");
    }
    return QVariant();
}

Qt::ItemFlags ksReferenceItemModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
    if (itemOf(index)->selectable)
        flags |= Qt::ItemIsSelectable;
    return flags;
}

QStringList ksReferenceItemModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

Qt::DropActions ksReferenceItemModel::supportedDropActions() const
{
    return Qt::CopyAction;
}

bool ksReferenceItemModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex&) const
{
    return !localFiles(data).isEmpty();
}

bool ksReferenceItemModel::dropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent)
{
    const QStringList paths = localFiles(data);
    if (paths.isEmpty())
        return false;
    emit filesDropped(paths, parent.isValid() ? itemOf(parent)->nodeId : 0);
    return true;
}
