// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Traversal.h"

#include "scenegraph/Node.h"

#include <vector>

namespace osg {

namespace {
struct Frame {
    NodeRefPtr node;
    UInt32 next;            // index of the next child to visit
    Action::ResultE result; // what enter gave for `node`
};
} // namespace

Action::ResultE traverse(const NodePtr& root, const TraverseEnterFunctor& enter)
{
    return traverse(root, enter, TraverseLeaveFunctor());
}

Action::ResultE traverse(const NodePtr& root, const TraverseEnterFunctor& enter, const TraverseLeaveFunctor& leave)
{
    if (!root)
        return Action::Continue;
    // An explicit stack: depth costs heap, not call stack.
    std::vector<Frame> stack;
    NodeRefPtr first(root);
    Action::ResultE r = enter(root);
    if (r == Action::Quit)
        return Action::Quit;
    stack.push_back({std::move(first), 0, r});

    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.result == Action::Continue && top.next < top.node->getNChildren()) {
            Node* parent = top.node.getCPtr();
            const UInt32 index = top.next++;
            const std::vector<NodeRefPtr>& children = parent->getMFChildren();
            // Most nodes of a large scene are leaves, so the next sibling is
            // usually the next node visited: ask for it now, and its memory
            // arrives while this one is visited.
            if (index + 1 < children.size())
                __builtin_prefetch(children[index + 1].getCPtr());
            NodeRefPtr child(children[index]);
            r = enter(NodePtr(child));
            if (r == Action::Quit)
                return Action::Quit;
            // The visit took the child out of this parent: the next sibling
            // now stands at its index. Still in its place is the usual case,
            // told from the parent's list without touching the child.
            const std::vector<NodeRefPtr>& siblings = parent->getMFChildren();
            const bool inPlace = index < siblings.size() && siblings[index].getCPtr() == child.getCPtr();
            if (!inPlace && child->getParent().getCPtr() != parent) {
                Frame& again = stack.back();
                if (again.next > index)
                    again.next = index;
            }
            stack.push_back({std::move(child), 0, r});
            continue;
        }
        if (leave) {
            NodeRefPtr node = std::move(top.node);
            const Action::ResultE entered = top.result;
            stack.pop_back();
            if (leave(NodePtr(node), entered) == Action::Quit)
                return Action::Quit;
        } else {
            stack.pop_back();
        }
    }
    return Action::Continue;
}

} // namespace osg
