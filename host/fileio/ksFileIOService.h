// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "handles/ksdNode.h"
#include "kernel/ksBaseService.h"

#include <QList>
#include <QString>

#include <functional>

// The host's file service as other modules see it: the host emits these
// signals around imports, project loads and saves, so that modules can pause
// background work and refresh what they show.
class ksFileIOService : public ksBaseService
{
    Q_OBJECT

public:
    // Re-imports nodes from their source files and gives the handles of the
    // nodes that hold the new content.
    using ReimportHandler = std::function<QList<ksdNode>(const QList<ksdNode>& nodes)>;

    explicit ksFileIOService(QObject* parent = nullptr);
    ~ksFileIOService() override;

    // Re-imports the source files of the nodes through the handler. Without
    // one (no importer installed) the nodes come back unchanged.
    QList<ksdNode> reimportSourceFiles(const QList<ksdNode>& nodes);
    // The host's importer installs its handler here; tests stand in for it.
    // An empty handler restores the default.
    void setReimportHandler(ReimportHandler handler);

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

private:
    ReimportHandler m_reimport;
};
