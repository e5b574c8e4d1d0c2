// Licensed under the MIT licence; see LICENSE.
// Depth-first traversal of a subtree.
#pragma once

#include "scenegraph/Action.h"
#include "scenegraph/HandleTypes.h"

#include <functional>

namespace osg {

using TraverseEnterFunctor = std::function<Action::ResultE(const NodePtr&)>;
using TraverseLeaveFunctor = std::function<Action::ResultE(const NodePtr&, Action::ResultE)>;

// Visits `root` and then its subtree in pre-order (parents before children,
// children in order). `enter` decides per node: Continue, Skip (children not
// visited) or Quit (nothing more is called, not even leave).
//
// `leave(node, result)` runs after the node's children, and also for a node
// whose enter gave Skip; `result` is what enter gave. A leave that returns
// Quit stops the traversal.
//
// The child count is read afresh at each step and every node on the current
// path is held, so a visit may add, move or delete the visited node's
// children, or take the visited node out of its parent: the traversal goes on
// with what is there (the sibling that moved into a removed node's place is
// not skipped). Returns Quit when stopped, else Continue.
Action::ResultE traverse(const NodePtr& root, const TraverseEnterFunctor& enter);
Action::ResultE traverse(const NodePtr& root, const TraverseEnterFunctor& enter, const TraverseLeaveFunctor& leave);

} // namespace osg
