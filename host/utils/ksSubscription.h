// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <functional>

// A handle on a registration (a log listener, a message handler): the
// registration lasts as long as the handle, and ends when it is destroyed or
// reset. Move-only, so exactly one owner decides when it ends.
class ksSubscription
{
public:
    ksSubscription() = default;
    explicit ksSubscription(std::function<void()> revoke);
    ~ksSubscription();

    ksSubscription(ksSubscription&& other) noexcept;
    ksSubscription& operator=(ksSubscription&& other) noexcept;
    ksSubscription(const ksSubscription&) = delete;
    ksSubscription& operator=(const ksSubscription&) = delete;

    // Ends the registration now; later calls do nothing.
    void reset();
    bool isActive() const { return static_cast<bool>(m_revoke); }

private:
    std::function<void()> m_revoke;
};
