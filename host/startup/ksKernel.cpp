// Licensed under the MIT licence; see LICENSE.
#include "startup/ksKernel.h"

#include "fileio/ksFileIOService.h"
#include "handles/ksdObjectManager.h"
#include "import/ksSceneImporter.h"
#include "kernel/ksBaseService.h"
#include "kernel/ksController.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelRegister.h"
#include "kernel/ksKernelServiceFactory.h"
#include "kernel/ksModuleList.h"
#include "nodeutils/ksMaterials.h"
#include "notification/NotificationManager.h"
#include "references/ksReferenceTypes.h"
#include "scene/ksScenegraph.h"
#include "tree/ksTreeService.h"
#include "undo/ksUndoStack.h"

#include <QDir>

ksKernel::~ksKernel()
{
    shutdown();
}

void ksKernel::installHostServices()
{
    ksReferenceTypes::registerMetaTypes();
    ksKernelServiceFactory& factory = ksKernelServiceFactory::the();
    // The base service first: modules connect to its init.
    factory.add(new ksBaseService);
    factory.add(new ksFileIOService);
    factory.add(new ksTreeService);
    m_importHandlers = ksSceneImporter::installHandlers();
    m_materialHandler = ksController::addHandler("updateMaterials", [](ksMessage&, ksModuleBase*) {
        ksMaterials::updateMaterialPool(ksScenegraph::getRoot());
    });
}

bool ksKernel::loadModule(const QString& path)
{
    return m_loader.load(path);
}

int ksKernel::loadModules(const QString& directory)
{
    const QDir dir(directory);
    const QStringList names = dir.entryList(QStringList() << QStringLiteral("*.so"), QDir::Files, QDir::Name);
    int count = 0;
    for (const QString& name : names) {
        if (m_loader.load(dir.filePath(name)))
            ++count;
    }
    return count;
}

void ksKernel::start()
{
    if (m_started)
        return;
    m_started = true;
    ksKernelRegister::runPending();
    ksInterfaceFactory::the().initializeAll();
    ksKernelServiceFactory::the().initializeServices();
}

void ksKernel::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    // Everything that may run module code goes before the libraries do.
    ksModuleList::instance().destroyAll();
    ksUndoStack::clearAll();
    m_importHandlers.reset();
    m_materialHandler.reset();
    ksa::notification::NotificationManager::getInstance()->removeAll();
    ksKernelServiceFactory::the().shutdown();
    ksdObjectManager::instance().clearImplementations();
    m_loader.unloadAll();
}
