// Licensed under the MIT licence; see LICENSE.
#include "kernel/ksController.h"

#include "kernel/ksMessage.h"
#include "utils/ksLog.h"

#include <map>
#include <memory>
#include <vector>

namespace {

struct Registration
{
    ksController::Handler handler;
};

using Registrations = std::map<std::string, std::vector<std::shared_ptr<Registration>>>;

Registrations& registrations()
{
    static Registrations* all = new Registrations;
    return *all;
}

} // namespace

bool ksController::call(const std::string& name, ksMessage& message, ksModuleBase* sender)
{
    const auto it = registrations().find(name);
    if (it == registrations().end() || it->second.empty()) {
        ksLog::warning("ksController: no handler for '%s'", name.c_str());
        return false;
    }
    // Held for the call, so that the handler may end its own subscription.
    const std::shared_ptr<Registration> current = it->second.back();
    current->handler(message, sender);
    return true;
}

ksSubscription ksController::addHandler(const std::string& name, Handler handler)
{
    auto registration = std::make_shared<Registration>();
    registration->handler = std::move(handler);
    registrations()[name].push_back(registration);
    std::weak_ptr<Registration> weak = registration;
    return ksSubscription([name, weak] {
        auto registration = weak.lock();
        auto it = registrations().find(name);
        if (!registration || it == registrations().end())
            return;
        auto& handlers = it->second;
        for (auto h = handlers.begin(); h != handlers.end(); ++h) {
            if (*h == registration) {
                handlers.erase(h);
                break;
            }
        }
        if (handlers.empty())
            registrations().erase(it);
    });
}

bool ksController::hasHandler(const std::string& name)
{
    const auto it = registrations().find(name);
    return it != registrations().end() && !it->second.empty();
}
