// Licensed under the MIT licence; see LICENSE.
#include "nodeutils/ksNodeUtils.h"

#include "nodeutils/ksRenameNodeCommand.h"
#include "scenegraph/FileInfo.h"
#include "scenegraph/Name.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeUtils.h"
#include "scenegraph/Traversal.h"
#include "undo/ksUndoStack.h"

#include <unordered_set>

using namespace osg;

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
