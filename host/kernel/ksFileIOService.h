// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "kernel/ksBaseService.h"

#include <QString>

// The host's file service as other modules see it: the host emits these
// signals around imports, project loads and saves, so that modules can pause
// background work and refresh what they show.
class ksFileIOService : public ksBaseService
{
    Q_OBJECT

public:
    explicit ksFileIOService(QObject* parent = nullptr);
    ~ksFileIOService() override;

signals:
    // An import of `fileCount` files begins; `importId` names it in importFinished.
    void startingImport(quint64 importId, unsigned int fileCount);
    void importFinished(quint64 importId, double seconds);
    void projectSave(const QString& path);
    void projectSaved(const QString& path);
    void projectLoad(const QString& path);
    void projectLoadFinished(const QString& path, bool success);
    void newScene();
    void projectLoaded(const QString& path);
    void savedGeometry(const QString& path);
};
