// Licensed under the MIT licence; see LICENSE.
#include "undo/ksParkedNodes.h"

#include "scenegraph/ExtReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeUtils.h"
#include "scenegraph/Traversal.h"

#include <set>

using namespace osg;

namespace {

// Each core once, in the order met: clones below one root share a core.
std::vector<ExtReferencePtr> coresBelow(const NodePtr& root)
{
    std::vector<ExtReferencePtr> cores;
    std::set<ExtReferencePtr> seen;
    traverse(root, [&](const NodePtr& node) {
        const ExtReferencePtr core = ExtReferencePtr::dcast(node->getCore());
        if (core && seen.insert(core).second)
            cores.push_back(core);
        return Action::Continue;
    });
    return cores;
}

bool usedInLiveScene(const ExtReferencePtr& core)
{
    for (const NodePtr& user : core->getParents()) {
        if (NodeUtils::isScenegraphNode(user))
            return true;
    }
    return false;
}

} // namespace

void ksParkedNodes::park(const NodePtr& root)
{
    if (!root)
        return;
    for (const ExtReferencePtr& core : coresBelow(root)) {
        if (!usedInLiveScene(core))
            ExtReference::withdrawFromPool(core);
    }
}

void ksParkedNodes::unpark(const NodePtr& root)
{
    if (!root)
        return;
    for (const ExtReferencePtr& core : coresBelow(root))
        ExtReference::returnToPool(core);
}
