// Licensed under the MIT licence; see LICENSE.
#include "utils/ksSubscription.h"

#include <utility>

ksSubscription::ksSubscription(std::function<void()> revoke)
    : m_revoke(std::move(revoke))
{
}

ksSubscription::~ksSubscription()
{
    reset();
}

ksSubscription::ksSubscription(ksSubscription&& other) noexcept
    : m_revoke(std::exchange(other.m_revoke, nullptr))
{
}

ksSubscription& ksSubscription::operator=(ksSubscription&& other) noexcept
{
    if (this != &other) {
        reset();
        m_revoke = std::exchange(other.m_revoke, nullptr);
    }
    return *this;
}

void ksSubscription::reset()
{
    // Cleared before the call, so a revoke that ends up here again is harmless.
    auto revoke = std::exchange(m_revoke, nullptr);
    if (revoke)
        revoke();
}
