// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "kernel/ksBaseService.h"

#include <QList>

// The host's scene-tree service: tells modules that the tree's structure or
// the selection changed. It also keeps the selection, as a list of node
// container ids in the order the nodes were selected.
class ksTreeService : public ksBaseService
{
    Q_OBJECT

public:
    explicit ksTreeService(QObject* parent = nullptr);
    ~ksTreeService() override;

    QList<uint> getSelection() const { return m_selection; }
    // Replaces the selection; emits selectionChanged when it differs (a
    // repeated id counts once).
    void setSelection(const QList<uint>& nodeIds);

    // The host calls this wherever it changes the scene graph's structure
    // (node commands, deletions, core changes, new scenes). The requests of
    // one turn of the event loop give one scenegraphChanged, after the
    // selection has dropped the nodes that left the live scene. Nothing
    // happens while the host has no tree service.
    static void notifyScenegraphChanged();

signals:
    void scenegraphChanged();
    void selectionChanged(const QList<uint>& nodeIds);

private:
    void requestScenegraphChanged();
    void emitScenegraphChanged();

    QList<uint> m_selection;
    bool m_changePending = false;
};
