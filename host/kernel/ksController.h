// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "utils/ksSubscription.h"

#include <functional>
#include <string>

class ksMessage;
class ksModuleBase;

// Named requests from modules to the host ("reloadNodesFromFile",
// "updateMaterials"). The host registers one handler per name; a handler
// registered later for the same name takes over until its subscription
// ends, so a test can stand in for the host's handler for a while.
// Main thread only.
class ksController
{
public:
    // The message is the request and carries the answer back; sender is the
    // module that asks, or null.
    using Handler = std::function<void(ksMessage& message, ksModuleBase* sender)>;

    // Runs the handler of `name` at once. Without a handler it logs a
    // warning and returns false.
    static bool call(const std::string& name, ksMessage& message, ksModuleBase* sender = nullptr);

    static ksSubscription addHandler(const std::string& name, Handler handler);
    static bool hasHandler(const std::string& name);
};
