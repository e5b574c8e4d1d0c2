// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// A module has no entry function: its libraries hold static objects of this
// class, each handing the kernel one function to call once the library is
// loaded. Constructing one appends the function to a process-wide pending
// list; the module loader then runs the functions that its load added, in
// the order in which the objects were built.
class ksKernelRegister
{
public:
    using Function = std::function<void()>;

    explicit ksKernelRegister(Function function);
    // Withdraws the function if it has not run yet: a library unloaded
    // before its registrations ran must not leave code behind.
    ~ksKernelRegister();

    ksKernelRegister(const ksKernelRegister&) = delete;
    ksKernelRegister& operator=(const ksKernelRegister&) = delete;

    // For programs that link module code directly (tests, command-line
    // programs): runs every pending function, oldest first, and returns how
    // many ran.
    static int runPending();
    static int pendingCount();

    // The loader's view: every registration gets a serial number, so the
    // ones made while a library loaded are those after the mark taken
    // before it. runSince runs (and removes) exactly those, in order.
    static std::uint64_t mark();
    static int runSince(std::uint64_t mark);

private:
    static std::vector<Function> takeSince(std::uint64_t mark);
};
