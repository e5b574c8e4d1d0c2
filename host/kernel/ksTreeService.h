// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "kernel/ksBaseService.h"

#include <QList>

// The host's scene-tree service: tells modules that the tree's structure or
// the selection changed. Selections are lists of node container ids.
class ksTreeService : public ksBaseService
{
    Q_OBJECT

public:
    explicit ksTreeService(QObject* parent = nullptr);
    ~ksTreeService() override;

signals:
    void scenegraphChanged();
    void selectionChanged(const QList<uint>& nodeIds);
};
