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
            NodeRefPtr child(parent->getChild(index));
            r = enter(NodePtr(child));
            if (r == Action::Quit)
                return Action::Quit;
            // The visit took the child out of this parent: the next sibling
            // now stands at its index.
            if (child->getParent().getCPtr() != parent) {
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
