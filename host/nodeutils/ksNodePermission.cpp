// Licensed under the MIT licence; see LICENSE.
#include "nodeutils/ksNodePermission.h"

#include "nodeutils/ksNodeUtils.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeUtils.h"

using namespace osg;

bool ksNodePermission::allows(const NodePtr& node, Action action)
{
    if (!node)
        return false;
    if (action == Select)
        return ksNodeUtils::isSelectable(node);
    if ((action == Delete || action == Move || action == Rename) && node == NodeUtils::getSceneRoot())
        return false;
    for (NodePtr n = node; n; n = n->getParent())
        if (ksNodeUtils::getLock(n))
            return false;
    return action >= Modify && action <= Move;
}
