// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Loads module libraries into the process. A load runs, once each and in
// order of construction, exactly the registration functions that the
// library's static objects handed the kernel (ksKernelRegister); functions
// registered by anything else stay pending. Main thread only.
//
// Unloading runs the library's static destructors and removes its code:
// whatever the module created in the host (services, module objects, undo
// commands) must be gone before, which is why ksKernel tears down in that
// order.
class ksModuleLoader
{
public:
    ksModuleLoader() = default;
    // Unloads what is still loaded, last loaded first.
    ~ksModuleLoader();

    ksModuleLoader(const ksModuleLoader&) = delete;
    ksModuleLoader& operator=(const ksModuleLoader&) = delete;

    // False, with the reason in error and in the log, when the library
    // cannot be loaded. Loading a library that is already loaded does
    // nothing and succeeds.
    bool load(const QString& path, QString* error = nullptr);
    bool unload(const QString& path);
    void unloadAll();

    bool isLoaded(const QString& path) const;
    // Paths in order of loading.
    QStringList loaded() const;
    // How many registration functions the library's load ran; -1 when it is
    // not loaded.
    int registrationCount(const QString& path) const;

private:
    struct Library
    {
        QString path;
        void* handle;
        int registrations;
    };

    static QString key(const QString& path);
    const Library* find(const QString& path) const;

    std::vector<Library> m_libraries;
};
