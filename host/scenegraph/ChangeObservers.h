// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/ChangeEvent.h"
#include "scenegraph/ChangeSubscription.h"

#include <functional>

namespace osg {

class FieldContainer;
class Node;

// Observers of published changes in subtrees (e.g. a monitor that notices
// the first edit inside a loaded reference).
//
// An observer is kept on the node it watches. When an edit ends, dispatch
// walks up from the changed container through its users to the nodes that
// hold it, and from each of those up the parent chain, calling the observers
// met on the way; observers elsewhere in the scene cost nothing. An observer
// is called once per path: a core shared by two watched nodes reports twice.
// All paths are gathered before the first call, so observers may edit the
// tree and subscribe or revoke while they run.
class ChangeObservers {
public:
    using Callback = std::function<void(const ChangeEvent&)>;

    // Watches `root` and everything below it, as long as the token lives.
    // A null root gives an inactive token.
    static ChangeSubscription subscribe(const NodePtr& root, Callback callback);

    static std::size_t getNumObservers();

private:
    friend class FieldContainer;
    friend class Node;
    friend class ChangeSubscription;

    static void dispatch(FieldContainer& fc, BitVector mask, UInt32 origin);
    static bool isObserved(const FieldContainer& fc);
    static void nodeDestroyed(Node& node);
    static void revoke(detail::ObserverEntry& entry);
    static bool isActive(const detail::ObserverEntry& entry);
};

} // namespace osg
