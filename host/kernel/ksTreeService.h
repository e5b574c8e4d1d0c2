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

signals:
    void scenegraphChanged();
    void selectionChanged(const QList<uint>& nodeIds);

private:
    QList<uint> m_selection;
};
