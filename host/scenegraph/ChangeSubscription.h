// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <memory>

namespace osg {

namespace detail {
struct ObserverEntry;
}

// The token of one change observer: the observer stays subscribed while the
// token lives, and is revoked when the token goes or revoke() is called.
// Revoking is safe at any time, also from inside the observer's own call or
// after the observed node is gone; a revoked observer is not called again.
class ChangeSubscription {
public:
    ChangeSubscription();
    ChangeSubscription(ChangeSubscription&& other) noexcept;
    ChangeSubscription& operator=(ChangeSubscription&& other) noexcept;
    ChangeSubscription(const ChangeSubscription&) = delete;
    ChangeSubscription& operator=(const ChangeSubscription&) = delete;
    ~ChangeSubscription();

    void revoke();
    // False once revoked, and once the observed node is gone.
    bool isActive() const;

private:
    friend class ChangeObservers;
    explicit ChangeSubscription(std::shared_ptr<detail::ObserverEntry> entry);

    std::shared_ptr<detail::ObserverEntry> m_entry;
};

} // namespace osg
