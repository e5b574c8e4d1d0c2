// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "ksReferenceTable.h"

#include "references/ksdReferenceNode.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>

#include <memory>
#include <vector>

class ksReferenceService;
class ksReferenceInterface;

// The references of the live scene as a tree: one row per reference node,
// the references nested in it as its children. It reads everything through
// the module's published API (node handles, the interface's status text and
// searches) and follows the service's signals. A report that names nodes
// refreshes only those rows; anything that may have changed the tree's shape
// is folded into one resynchronisation per turn of the event loop, which
// inserts and removes rows where the shape differs and refreshes the rest.
class ksReferenceItemModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column { Name, SmartFile, SmartState, SourceFile, SourceState, Loaded, Edited, Revision, FoundIn, ColumnCount };
    enum Role {
        NodeIdRole = Qt::UserRole + 1, // quint32
        SmartStateRole,                // ksReferenceTypes::FileState as int
        SourceStateRole
    };

    explicit ksReferenceItemModel(QObject* parent = nullptr);
    ~ksReferenceItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDropActions() const override;

    // The row of a node, invalid when it is not shown.
    QModelIndex indexOf(quint32 nodeId, int column = 0) const;
    ksdReferenceNode handle(const QModelIndex& index) const;
    // Every shown node whose smart or source file is in `state`, in tree order.
    QList<quint32> nodesInState(ksReferenceTypes::FileState state) const;
    int referenceCount() const { return m_items.size(); }

public slots:
    // Reads the scene's tree again and brings the rows in line with it.
    void synchronize();
    // Reads the named rows again; nodes not shown yet ask for a resync.
    void refresh(const QList<ksdReferenceNode>& nodes);
    // Reads the edited column of every row (the module merges its edit
    // reports into one signal without names).
    void refreshEditStates();

signals:
    // Local files dropped on the tree: import them (under `parentId`, 0 for the root).
    void filesDropped(const QStringList& paths, quint32 parentId);

private:
    struct Item {
        quint32 nodeId = 0;
        Item* parent = nullptr;
        int row = 0;
        ksReferenceTable::Row data;
        QString revision;
        bool locked = false;
        bool selectable = true;
        std::vector<std::unique_ptr<Item>> children;
    };

    void scheduleSync();
    Item* itemOf(const QModelIndex& index) const;
    QModelIndex indexOf(const Item* item, int column) const;
    // The nearest references below `nodeId` (the top-level ones for 0).
    std::vector<quint32> childReferences(quint32 nodeId) const;
    void syncChildren(Item* item);
    std::unique_ptr<Item> makeItem(quint32 nodeId, Item* parent);
    void forget(Item* item);
    void renumber(Item* item, int from);
    // True when the row's shown values changed.
    bool read(Item* item) const;

    Item m_root;
    QHash<quint32, Item*> m_items;
    ksReferenceService* m_service = nullptr;
    ksReferenceInterface* m_references = nullptr;
    bool m_syncPending = false;
    bool m_resetNeeded = false;
};
