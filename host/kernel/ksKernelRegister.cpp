// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksKernelRegister.h"

#include "utils/ksLog.h"

#include <exception>
#include <mutex>

namespace {

struct Pending
{
    std::uint64_t serial;
    const ksKernelRegister* owner;
    ksKernelRegister::Function function;
};

struct PendingList
{
    std::mutex mutex;
    std::uint64_t lastSerial = 0;
    std::vector<Pending> entries;
};

PendingList& pendingList()
{
    // Never destroyed: registration objects of libraries that are still
    // loaded at exit may be destroyed after any function-local static here.
    static PendingList* list = new PendingList;
    return *list;
}

} // namespace

ksKernelRegister::ksKernelRegister(Function function)
{
    PendingList& list = pendingList();
    std::lock_guard<std::mutex> lock(list.mutex);
    list.entries.push_back(Pending{++list.lastSerial, this, std::move(function)});
}

ksKernelRegister::~ksKernelRegister()
{
    PendingList& list = pendingList();
    std::lock_guard<std::mutex> lock(list.mutex);
    for (auto it = list.entries.begin(); it != list.entries.end(); ++it) {
        if (it->owner == this) {
            list.entries.erase(it);
            break;
        }
    }
}

int ksKernelRegister::runPending()
{
    return runSince(0);
}

int ksKernelRegister::pendingCount()
{
    PendingList& list = pendingList();
    std::lock_guard<std::mutex> lock(list.mutex);
    return static_cast<int>(list.entries.size());
}

std::uint64_t ksKernelRegister::mark()
{
    PendingList& list = pendingList();
    std::lock_guard<std::mutex> lock(list.mutex);
    return list.lastSerial;
}

std::vector<ksKernelRegister::Function> ksKernelRegister::takeSince(std::uint64_t mark)
{
    std::vector<Function> taken;
    PendingList& list = pendingList();
    std::lock_guard<std::mutex> lock(list.mutex);
    std::vector<Pending> kept;
    for (auto& entry : list.entries) {
        if (entry.serial > mark)
            taken.push_back(std::move(entry.function));
        else
            kept.push_back(std::move(entry));
    }
    list.entries.swap(kept);
    return taken;
}

int ksKernelRegister::runSince(std::uint64_t mark)
{
    std::vector<Function> functions = takeSince(mark);
    // Called without the list's lock: a registration may build further
    // registration objects (their functions wait for the next run).
    int count = 0;
    for (auto& function : functions) {
        try {
            function();
        } catch (const std::exception& e) {
            ksLog::error("ksKernelRegister: a registration function failed: %s", e.what());
        } catch (...) {
            ksLog::error("ksKernelRegister: a registration function failed");
        }
        ++count;
    }
    return count;
}
