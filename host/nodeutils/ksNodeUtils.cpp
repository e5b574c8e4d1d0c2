// Licensed under the MIT licence; see LICENSE.
#include "nodeutils/ksNodeUtils.h"

#include "nodeutils/ksMaterials.h"
#include "nodeutils/ksRenameNodeCommand.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileInfo.h"
#include "scenegraph/Name.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeCore.h"
#include "scenegraph/NodeUtils.h"
#include "scenegraph/Traversal.h"
#include "undo/ksUndoStack.h"

#include <algorithm>
#include <unordered_set>

using namespace osg;

namespace {

// Groups of tied node ids. Never destroyed: reached from exit-time code.
std::vector<std::vector<UInt32>>& synchronizedGroups()
{
    static auto* groups = new std::vector<std::vector<UInt32>>();
    return *groups;
}

NodePtr nodeById(UInt32 id)
{
    return NodePtr::dcast(FieldContainerFactory::the()->getContainer(id));
}

} // namespace

std::string ksNodeUtils::getName(const NodePtr& node)
{
    return osg::getName(node);
}

void ksNodeUtils::setName(const NodePtr& node, const std::string& name, bool publish, const NodePtr& uniqueAmong)
{
    if (!node)
        return;
    const std::string finalName = uniqueAmong ? getUniqueName(name, uniqueAmong) : name;
    const UInt16 group = Name::getClassType().getGroupId();
    NamePtr existing = NamePtr::dcast(node->findAttachment(group));
    // A clone made by copying a tree shares its Name with the original; a
    // rename must not reach the other clones.
    if (existing && existing->getUsers().size() <= 1) {
        if (publish)
            beginEditCP(existing, Name::NameFieldMask);
        existing->setName(finalName);
        if (publish)
            endEditCP(existing, Name::NameFieldMask);
        return;
    }
    NameRefPtr fresh = Name::create();
    fresh->setName(finalName);
    if (publish)
        beginEditCP(node, Node::AttachmentsFieldMask);
    node->addAttachment(fresh);
    if (publish)
        endEditCP(node, Node::AttachmentsFieldMask);
}

NodeRefPtr ksNodeUtils::createNode(NodeCoreRefPtr core, const std::string& name)
{
    NodeRefPtr node = Node::create();
    node->setCore(std::move(core));
    if (!name.empty())
        setName(node.get(), name, false);
    return node;
}

void ksNodeUtils::setName(const NodePtr& node, const std::string& name, bool publish, const std::string& undoText)
{
    if (!node)
        return;
    if (undoText.empty()) {
        setName(node, name, publish, NodePtr());
        return;
    }
    ksUndoStack::get(0).addOrExecute(new ksRenameNodeCommand(node, name, undoText));
}

std::string ksNodeUtils::getUniqueName(const std::string& name, const NodePtr& root)
{
    const NodePtr top = root ? root : NodeUtils::getSceneRoot();
    if (!top)
        return name;
    std::unordered_set<std::string> taken;
    const std::string prefix = name + "_";
    bool plainTaken = false;
    traverse(top, [&](const NodePtr& n) {
        std::string other = osg::getName(n);
        if (other == name)
            plainTaken = true;
        else if (other.size() > prefix.size() && other.compare(0, prefix.size(), prefix) == 0)
            taken.insert(std::move(other));
        return Action::Continue;
    });
    if (!plainTaken)
        return name;
    for (std::size_t i = 1;; ++i) {
        std::string candidate = prefix + std::to_string(i);
        if (!taken.count(candidate))
            return candidate;
    }
}

std::string ksNodeUtils::getFileInfo(const NodePtr& node)
{
    if (!node)
        return {};
    FileInfoPtr info = FileInfoPtr::dcast(node->findAttachment(FileInfo::getClassType().getGroupId()));
    return info ? info->getPath() : std::string();
}

bool ksNodeUtils::getLock(const NodePtr& node)
{
    return node && (node->getFlags() & LockedFlag) != 0;
}

void ksNodeUtils::setLock(const NodePtr& node, bool locked)
{
    setFlag(node, LockedFlag, locked);
}

bool ksNodeUtils::isSelectable(const NodePtr& node)
{
    return node && (node->getFlags() & UnselectableFlag) == 0;
}

void ksNodeUtils::setSelectable(const NodePtr& node, bool selectable)
{
    setFlag(node, UnselectableFlag, !selectable);
}

bool ksNodeUtils::hasParent(const NodePtr& node, const NodePtr& ancestor)
{
    return node && NodeUtils::isAncestorOrSelf(ancestor, node);
}

bool ksNodeUtils::subFromParent(const NodePtr& node)
{
    if (!node || !node->getParent())
        return false;
    const NodePtr parent = node->getParent();
    beginEditCP(parent, Node::ChildrenFieldMask);
    const bool removed = parent->subChild(node);
    endEditCP(parent, Node::ChildrenFieldMask);
    return removed;
}

void ksNodeUtils::setFlag(const NodePtr& node, UInt32 flag, bool on)
{
    if (!node)
        return;
    const UInt32 flags = on ? (node->getFlags() | flag) : (node->getFlags() & ~flag);
    if (flags == node->getFlags())
        return;
    beginEditCP(node, Node::FlagsFieldMask);
    node->setFlags(flags);
    endEditCP(node, Node::FlagsFieldMask);
}

void ksNodeUtils::syncCloneTree(const NodePtr& master, const NodePtr& other)
{
    if (!master || !other || NodeUtils::isAncestorOrSelf(master, other) || NodeUtils::isAncestorOrSelf(other, master))
        return;
    std::vector<NodeRefPtr> copies;
    copies.reserve(master->getNChildren());
    for (UInt32 i = 0; i < master->getNChildren(); ++i)
        copies.push_back(NodeUtils::cloneTree(master->getChild(i)));
    beginEditCP(other, Node::ChildrenFieldMask);
    while (other->getNChildren() > 0)
        other->subChild(other->getNChildren() - 1);
    for (NodeRefPtr& copy : copies)
        other->addChild(std::move(copy));
    endEditCP(other, Node::ChildrenFieldMask);
}

void ksNodeUtils::syncAllCloneTrees(const NodePtr& node, bool recursive)
{
    if (!node)
        return;
    auto syncClones = [](const NodePtr& n) {
        const NodeCorePtr core = n->getCore();
        if (!core || core->getNParents() < 2)
            return;
        for (const NodePtr& clone : core->getParents())
            if (clone != n)
                syncCloneTree(n, clone);
    };
    if (!recursive) {
        syncClones(node);
        return;
    }
    // Innermost first, so that a clone of an outer node copies inner
    // subtrees that are already in step.
    std::vector<NodeRefPtr> order;
    traverse(node, [&](const NodePtr& n) {
        order.emplace_back(n);
        return Action::Continue;
    });
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        syncClones(it->get());
}

void ksNodeUtils::setSynchronized(const NodePtr& a, const NodePtr& b)
{
    if (!a || !b || a == b)
        return;
    auto& groups = synchronizedGroups();
    auto find = [&](UInt32 id) {
        return std::find_if(groups.begin(), groups.end(), [id](const std::vector<UInt32>& g) {
            return std::find(g.begin(), g.end(), id) != g.end();
        });
    };
    auto ga = find(a.getFieldContainerId());
    auto gb = find(b.getFieldContainerId());
    if (ga != groups.end() && ga == gb)
        return;
    if (ga == groups.end() && gb == groups.end()) {
        groups.push_back({a.getFieldContainerId(), b.getFieldContainerId()});
    } else if (ga == groups.end()) {
        gb->push_back(a.getFieldContainerId());
    } else if (gb == groups.end()) {
        ga->push_back(b.getFieldContainerId());
    } else {
        ga->insert(ga->end(), gb->begin(), gb->end());
        groups.erase(gb);
    }
}

void ksNodeUtils::removeSynchronized(const NodePtr& node)
{
    auto& groups = synchronizedGroups();
    for (auto& g : groups)
        g.erase(std::remove(g.begin(), g.end(), node.getFieldContainerId()), g.end());
    groups.erase(std::remove_if(groups.begin(), groups.end(), [](const auto& g) { return g.size() < 2; }),
                 groups.end());
}

std::vector<NodePtr> ksNodeUtils::getSynchronizedTrees(const NodePtr& node)
{
    std::vector<NodePtr> out;
    if (!node)
        return out;
    for (const auto& g : synchronizedGroups()) {
        if (std::find(g.begin(), g.end(), node.getFieldContainerId()) == g.end())
            continue;
        for (UInt32 id : g)
            if (id != node.getFieldContainerId())
                if (const NodePtr other = nodeById(id))
                    out.push_back(other);
    }
    return out;
}

void ksNodeUtils::syncAllSynchronizedTrees(const NodePtr& node)
{
    for (const NodePtr& other : getSynchronizedTrees(node))
        syncCloneTree(node, other);
}

void ksNodeUtils::validatePools()
{
    ksMaterials::validateMaterialPool();
    auto& groups = synchronizedGroups();
    for (auto& g : groups)
        g.erase(std::remove_if(g.begin(), g.end(), [](UInt32 id) { return !nodeById(id); }), g.end());
    groups.erase(std::remove_if(groups.begin(), groups.end(), [](const auto& g) { return g.size() < 2; }),
                 groups.end());
}
