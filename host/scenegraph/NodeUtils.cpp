// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/NodeUtils.h"

#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/Node.h"

#include <utility>
#include <vector>

namespace osg {

namespace {
UInt32 s_sceneRootId = 0; // an id, so a root that went away is noticed
} // namespace

void NodeUtils::setSceneRoot(const NodePtr& root)
{
    s_sceneRootId = root.getFieldContainerId();
}

NodePtr NodeUtils::getSceneRoot()
{
    return NodePtr::dcast(FieldContainerFactory::the()->getContainer(s_sceneRootId));
}

bool NodeUtils::isScenegraphNode(const NodePtr& node)
{
    NodePtr root = getSceneRoot();
    return root && isAncestorOrSelf(root, node);
}

NodePtr NodeUtils::getRootOf(const NodePtr& node)
{
    if (!node)
        return NullFC;
    NodePtr n = node;
    while (n->getParent())
        n = n->getParent();
    return n;
}

bool NodeUtils::isAncestorOrSelf(const NodePtr& ancestor, const NodePtr& node)
{
    if (!ancestor)
        return false;
    for (NodePtr n = node; n; n = n->getParent())
        if (n == ancestor)
            return true;
    return false;
}

NodeRefPtr NodeUtils::cloneTree(const NodePtr& root)
{
    if (!root)
        return NullFC;
    auto copyNode = [](const NodePtr& from) {
        NodeRefPtr to = Node::create();
        // Every field but the children, which a node cannot share.
        for (const FieldDescription* field : Node::getClassType().getFieldDescriptions())
            field->copyValue(*to, *from);
        return to;
    };
    NodeRefPtr top = copyNode(root);
    std::vector<std::pair<NodePtr, NodePtr>> pending{{root, top}};
    while (!pending.empty()) {
        auto [from, to] = pending.back();
        pending.pop_back();
        for (UInt32 i = 0; i < from->getNChildren(); ++i) {
            NodeRefPtr child = copyNode(from->getChild(i));
            to->addChild(child);
            pending.emplace_back(from->getChild(i), child);
        }
    }
    return top;
}

} // namespace osg
