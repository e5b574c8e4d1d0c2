// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksModuleLoader.h"

#include "kernel/ksKernelRegister.h"
#include "utils/ksLog.h"

#include <QFileInfo>

#include <dlfcn.h>

ksModuleLoader::~ksModuleLoader()
{
    unloadAll();
}

QString ksModuleLoader::key(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

const ksModuleLoader::Library* ksModuleLoader::find(const QString& path) const
{
    const QString wanted = key(path);
    for (const Library& library : m_libraries) {
        if (library.path == wanted)
            return &library;
    }
    return nullptr;
}

bool ksModuleLoader::load(const QString& path, QString* error)
{
    if (find(path))
        return true;

    const QString file = key(path);
    const std::uint64_t mark = ksKernelRegister::mark();
    // RTLD_LOCAL: modules do not see each other's symbols, only the host's.
    void* handle = ::dlopen(file.toUtf8().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = ::dlerror();
        const QString message = QString::fromUtf8(reason ? reason : "unknown error");
        ksLog::error("ksModuleLoader: couldn't load module '%s': %s", path.toUtf8().constData(),
                     message.toUtf8().constData());
        if (error)
            *error = message;
        return false;
    }
    for (const Library& library : m_libraries) {
        // The same library under another name: the process has it already,
        // and dlopen built no static objects.
        if (library.handle == handle) {
            ::dlclose(handle);
            return true;
        }
    }

    m_libraries.push_back(Library{file, handle, 0});
    // Recorded before the functions run, so that a registration which asks
    // the loader about its own library gets a true answer.
    const int count = ksKernelRegister::runSince(mark);
    for (Library& library : m_libraries) {
        if (library.handle == handle)
            library.registrations = count;
    }
    return true;
}

bool ksModuleLoader::unload(const QString& path)
{
    const QString wanted = key(path);
    for (auto it = m_libraries.begin(); it != m_libraries.end(); ++it) {
        if (it->path == wanted) {
            void* handle = it->handle;
            m_libraries.erase(it);
            if (::dlclose(handle) != 0) {
                const char* reason = ::dlerror();
                ksLog::error("ksModuleLoader: couldn't unload module '%s': %s", wanted.toUtf8().constData(),
                             reason ? reason : "unknown error");
                return false;
            }
            return true;
        }
    }
    return false;
}

void ksModuleLoader::unloadAll()
{
    while (!m_libraries.empty())
        unload(m_libraries.back().path);
}

bool ksModuleLoader::isLoaded(const QString& path) const
{
    return find(path) != nullptr;
}

QStringList ksModuleLoader::loaded() const
{
    QStringList paths;
    for (const Library& library : m_libraries)
        paths.append(library.path);
    return paths;
}

int ksModuleLoader::registrationCount(const QString& path) const
{
    const Library* library = find(path);
    return library ? library->registrations : -1;
}
