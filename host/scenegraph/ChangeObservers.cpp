// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/ChangeObservers.h"

#include "scenegraph/FieldContainer.h"
#include "scenegraph/Node.h"

#include <algorithm>
#include <unordered_set>

namespace osg {

namespace detail {
struct ObserverEntry {
    Node* node = nullptr; // cleared when the node goes
    ChangeObservers::Callback callback;
    bool active = true;
};

struct ObserverList {
    std::vector<std::shared_ptr<ObserverEntry>> entries;
};
} // namespace detail

namespace {
std::size_t s_numObservers = 0;

bool isNode(const FieldContainer* fc)
{
    return fc->getType().isDerivedFrom(Node::getClassType());
}
} // namespace

bool ChangeObservers::isObserved(const FieldContainer& fc)
{
    // Owning edges never form cycles, so following users terminates; chains
    // are short (record -> core -> node, material -> geometry -> node).
    if (isNode(&fc)) {
        for (const Node* n = static_cast<const Node*>(&fc); n; n = n->m_parent)
            if (n->m_observers)
                return true;
        return false;
    }
    bool observed = false;
    fc.m_users.forEach([&](FieldContainer* user) { observed = observed || isObserved(*user); });
    return observed;
}

ChangeSubscription ChangeObservers::subscribe(const NodePtr& root, Callback callback)
{
    if (!root || !callback)
        return ChangeSubscription();
    auto entry = std::make_shared<detail::ObserverEntry>();
    entry->node = root.getCPtr();
    entry->callback = std::move(callback);
    if (!root->m_observers)
        root->m_observers = new detail::ObserverList();
    root->m_observers->entries.push_back(entry);
    ++s_numObservers;
    return ChangeSubscription(std::move(entry));
}

std::size_t ChangeObservers::getNumObservers()
{
    return s_numObservers;
}

void ChangeObservers::revoke(detail::ObserverEntry& entry)
{
    if (!entry.active)
        return;
    entry.active = false;
    --s_numObservers;
    Node* node = entry.node;
    entry.node = nullptr;
    if (!node || !node->m_observers)
        return;
    auto& list = node->m_observers->entries;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& e) { return e.get() == &entry; }),
               list.end());
    if (list.empty()) {
        delete node->m_observers;
        node->m_observers = nullptr;
    }
}

bool ChangeObservers::isActive(const detail::ObserverEntry& entry)
{
    return entry.active;
}

void ChangeObservers::nodeDestroyed(Node& node)
{
    for (auto& entry : node.m_observers->entries) {
        if (entry->active) {
            entry->active = false;
            --s_numObservers;
        }
        entry->node = nullptr;
    }
    delete node.m_observers;
    node.m_observers = nullptr;
}

void ChangeObservers::dispatch(FieldContainer& fc, BitVector mask, UInt32 origin)
{
    // The common case, a change nobody watches, allocates nothing.
    if (s_numObservers == 0 || !isObserved(fc))
        return;

    // The nodes through which the container hangs in the tree. Most changes
    // are of a node or of a core used by one node, so this stays tiny.
    std::vector<Node*> entryNodes;
    if (isNode(&fc)) {
        entryNodes.push_back(static_cast<Node*>(&fc));
    } else {
        // Users form a graph (a material used by geometries used by nodes);
        // each container is expanded once. Long lists switch to a hash set.
        std::vector<FieldContainer*> toExpand{&fc};
        std::vector<FieldContainer*> seen{&fc};
        std::unordered_set<FieldContainer*> seenSet;
        auto firstVisit = [&](FieldContainer* c) {
            if (seenSet.empty()) {
                if (std::find(seen.begin(), seen.end(), c) != seen.end())
                    return false;
                seen.push_back(c);
                if (seen.size() > 32)
                    seenSet.insert(seen.begin(), seen.end());
                return true;
            }
            return seenSet.insert(c).second;
        };
        for (std::size_t i = 0; i < toExpand.size(); ++i)
            toExpand[i]->m_users.forEach([&](FieldContainer* user) {
                if (!firstVisit(user))
                    return;
                if (isNode(user))
                    entryNodes.push_back(static_cast<Node*>(user));
                else
                    toExpand.push_back(user);
            });
    }

    struct Hit {
        std::shared_ptr<detail::ObserverEntry> entry;
        std::vector<NodePtr> path;
    };
    std::vector<Hit> hits;
    for (Node* start : entryNodes) {
        std::vector<NodePtr> path;
        for (Node* n = start; n; n = n->m_parent) {
            path.emplace_back(n);
            if (n->m_observers)
                for (const auto& entry : n->m_observers->entries)
                    hits.push_back({entry, path});
        }
    }

    ChangeEvent event;
    event.container = FieldContainerPtr(&fc);
    event.mask = mask;
    event.origin = origin;
    for (Hit& hit : hits) {
        if (!hit.entry->active)
            continue;
        event.path = std::move(hit.path);
        hit.entry->callback(event);
    }
}

} // namespace osg
