// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "kernel/ksModuleLoader.h"
#include "utils/ksSubscription.h"

#include <QString>

// The host's start-up and shut-down sequence, for the host program and for
// tests that run a whole host:
//
//   installHostServices()   the kernel's base service, file IO, tree,
//                           the importer's re-import handlers, the
//                           material pool's "updateMaterials" handler
//   loadModule(...)         libraries; their registrations run
//   start()                 registrations of linked code, interface
//                           objects' onInitialize, then init on the services
//   ... event loop ...
//   shutdown()              module objects, undo steps, notifications,
//                           services and handle implementations are
//                           destroyed, then libraries unloaded
//
// Modules loaded after start() get no init. Main thread only.
class ksKernel
{
public:
    ksKernel() = default;
    // Shuts down if that has not happened.
    ~ksKernel();

    ksKernel(const ksKernel&) = delete;
    ksKernel& operator=(const ksKernel&) = delete;

    void installHostServices();
    bool loadModule(const QString& path);
    // Loads every shared library in the directory, in name order; returns
    // how many loaded.
    int loadModules(const QString& directory);
    void start();
    void shutdown();

    bool isStarted() const { return m_started; }
    ksModuleLoader& loader() { return m_loader; }

private:
    ksModuleLoader m_loader;
    ksSubscription m_importHandlers;
    ksSubscription m_materialHandler;
    bool m_started = false;
    bool m_shutDown = false;
};
