// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/ChangeSubscription.h"

#include "scenegraph/ChangeObservers.h"

namespace osg {

ChangeSubscription::ChangeSubscription() = default;

ChangeSubscription::ChangeSubscription(std::shared_ptr<detail::ObserverEntry> entry) : m_entry(std::move(entry))
{
}

ChangeSubscription::ChangeSubscription(ChangeSubscription&& other) noexcept = default;

ChangeSubscription& ChangeSubscription::operator=(ChangeSubscription&& other) noexcept
{
    if (this != &other) {
        revoke();
        m_entry = std::move(other.m_entry);
    }
    return *this;
}

ChangeSubscription::~ChangeSubscription()
{
    revoke();
}

void ChangeSubscription::revoke()
{
    if (m_entry) {
        ChangeObservers::revoke(*m_entry);
        m_entry.reset();
    }
}

bool ChangeSubscription::isActive() const
{
    return m_entry && ChangeObservers::isActive(*m_entry);
}

} // namespace osg
