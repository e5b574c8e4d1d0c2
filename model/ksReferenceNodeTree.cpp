// Licensed under the MIT licence; see LICENSE.
// The operations of ksReferenceNode that put content into a reference node's
// subtree, take it out, or move it aside for a while.
#include "model/ksReferenceNode.h"

#include "model/ksReferencePool.h"
#include "nodeutils/ksNodeUtils.h"
#include "nodeutils/ksTreeChangeMonitor.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/SceneGraph.h"

using namespace osg;

bool ksReferenceNode::load()
{
    if (!m_core)
        return false;
    if (!m_core->getSmartFile())
        return true;
    ksReferencePool& pool = ksReferencePool::instance();
    if (pool.isSmartFileLoaded(m_core))
        return true;
    // Another node showing the same file already has the content: copying
    // it as a clone tree is cheaper than reading the file again.
    if (syncWithLoadedClone())
        return true;
    return pool.loadSmartReference(m_core);
}

bool ksReferenceNode::syncWithLoadedClone()
{
    if (!m_core || !m_core->getSmartFile())
        return false;
    const NodePtr found = ksReferencePool::instance().findLoadedClone(m_core);
    if (!found)
        return false;
    for (const NodePtr& parent : m_core->getParents())
        ksNodeUtils::syncCloneTree(found, parent);
    return true;
}

void ksReferenceNode::unload()
{
    if (!m_core)
        return;
    if (const FileReferencePtr smart = m_core->getSmartFile()) {
        if (smart->getState() == ksReferenceTypes::NoPath) {
            // A record without a path names no file to load the content
            // from again: it goes with the content. Not an undo step.
            CPEditor edit(m_core, ExtReference::SmartFileFieldMask);
            m_core->setSmartFile(NullFC);
        } else if (ksReferencePool::instance().unloadSmartReference(m_core)) {
            return;
        }
    }
    {
        CPEditor edit(m_node, Node::ChildrenFieldMask);
        while (m_node->getNChildren() > 0)
            ksScenegraph::deleteNode(m_node->getChild(0), true);
    }
    ksNodeUtils::syncAllCloneTrees(m_node, false);
    ksNodeUtils::syncAllSynchronizedTrees(m_node);
    setState(ksReferenceTypes::NotLoaded);
}

bool ksReferenceNode::removeReference()
{
    if (!m_core)
        return false;
    const NodePtr node = m_node;
    if (!ksScenegraph::convertCore(node, "Transform3D"))
        return false;
    // Every node that shared the old core took the new one; none of them
    // may keep the file information the reference replaced.
    const FieldContainerType& fileInfoType = FileInfo::getClassType();
    for (const NodePtr& parent : node->getCore()->getParents()) {
        const AttachmentPtr info = parent->findAttachment(fileInfoType.getGroupId(), 0);
        if (!info || !info->getType().isDerivedFrom(fileInfoType))
            continue;
        CPEditor edit(parent, AttachmentContainer::AttachmentsFieldMask);
        parent->subAttachment(info, 0);
    }
    m_node = NullFC;
    m_core = NullFC;
    return true;
}

void ksReferenceNode::resetChanged()
{
    if (m_core)
        ksReferencePool::instance().resetChanged(m_core);
}

ksReferenceNode::DetachedList ksReferenceNode::detachSubReferences(const NodePtr& root)
{
    DetachedList detached;
    if (!root)
        return detached;
    traverse(root, [&](const NodePtr& n) {
        if (n == root)
            return Action::Continue;
        const ExtReferencePtr core = ExtReferencePtr::dcast(n->getCore());
        if (!core || !core->getSmartFile())
            return Action::Continue;

        NodeRefPtr holder = Node::create();
        {
            CPEditor edit(holder, Node::CoreFieldMask);
            holder->setCore(Group::create());
        }
        detached.emplace_back(NodeRefPtr(n), holder);
        {
            // In order, so the holder keeps the children's order.
            CPEditor edit(holder, Node::ChildrenFieldMask, ksTreeChangeMonitor::ContentMoveOrigin);
            for (NodeRefPtr& child : n->takeChildren())
                holder->addChild(std::move(child));
        }
        // Nested smart references travel inside their parent's content.
        return Action::Skip;
    });
    return detached;
}

void ksReferenceNode::attachSubReferences(const DetachedList& detached)
{
    for (const auto& [node, holder] : detached) {
        if (!node || !holder)
            continue;
        // Published as a move, which no change monitor counts as an edit of
        // the reference's content.
        for (NodeRefPtr& child : holder->takeChildren()) {
            CPEditor edit(node, Node::ChildrenFieldMask, ksTreeChangeMonitor::ContentMoveOrigin);
            node->addChild(std::move(child));
        }
    }
}
