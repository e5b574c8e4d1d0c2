// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Node.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ChangeObservers.h"
#include "scenegraph/NodeCore.h"
#include "scenegraph/ReferenceFieldDescription.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

// The children as a reference list: setting them adds each in order, which
// also sets the child's parent.
class ChildrenFieldDescription : public FieldDescription {
public:
    ChildrenFieldDescription() : FieldDescription("Children", Node::ChildrenFieldId, FieldKind::Children) {}

    const FieldContainerType* getTargetType() const override { return &Node::getClassType(); }

    void getReferences(const FieldContainer& fc, std::vector<FieldReference>& out) const override
    {
        for (const NodeRefPtr& child : static_cast<const Node&>(fc).m_children)
            out.push_back({0, child.getCPtr(), &Node::getClassType()});
    }
    const char* checkReferences(const std::vector<FieldReference>&) const override { return nullptr; }
    void setReferences(FieldContainer& fc, const std::vector<FieldReference>& refs) const override
    {
        for (const FieldReference& r : refs)
            static_cast<Node&>(fc).addChild(NodeRefPtr(static_cast<Node*>(r.target)));
    }
    // Children are never copied: a node has one parent, so copying would
    // take them from the source.
    void copyValue(FieldContainer&, const FieldContainer&) const override {}
};

const FieldContainerType& Node::getClassType()
{
    static const FieldContainerType type(
        "Node", typeIdOf(BuiltinTypeId::Node), &AttachmentContainer::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(makeReferenceField("Core", CoreFieldId, &Node::m_core, &Node::setCore),
                                       std::make_unique<ChildrenFieldDescription>(),
                                       makeValueField("Flags", FlagsFieldId, &Node::m_flags),
                                       makeValueField("TravMask", TravMaskFieldId, &Node::m_travMask),
                                       makeValueField("ExternalFlags", ExternalFlagsFieldId, &Node::m_externalFlags),
                                       makeValueField("Index", IndexFieldId, &Node::m_index)));
    return type;
}

const FieldContainerType& Node::getType() const
{
    return getClassType();
}

NodeRefPtr Node::create()
{
    return createContainer<Node>();
}

Node::Node() = default;

Node::~Node()
{
    if (m_observers)
        ChangeObservers::nodeDestroyed(*this);
    for (NodeRefPtr& child : m_children)
        child->m_parent = nullptr;
    if (m_core)
        removeUserFrom(m_core.getCPtr());
}

NodeCorePtr Node::getCore() const
{
    return NodeCorePtr(m_core);
}

void Node::setCore(NodeCoreRefPtr core)
{
    assignReference(m_core, std::move(core));
}

NodePtr Node::getChild(UInt32 index) const
{
    return index < m_children.size() ? NodePtr(m_children[index]) : NodePtr();
}

Int32 Node::findChild(const NodePtr& child) const
{
    if (!child)
        return -1;
    for (std::size_t i = 0; i < m_children.size(); ++i)
        if (m_children[i].getCPtr() == child.getCPtr())
            return Int32(i);
    return -1;
}

bool Node::canAdopt(const Node* child) const
{
    if (!child)
        return false;
    // A node without children is nobody's ancestor; this keeps building a
    // tree top-down free of walks up the parent chain.
    if (child->m_children.empty())
        return child != this;
    for (const Node* n = this; n; n = n->m_parent)
        if (n == child)
            return false;
    return true;
}

void Node::detachFromParent(Node* child)
{
    Node* parent = child->m_parent;
    if (!parent)
        return;
    auto& list = parent->m_children;
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->getCPtr() == child) {
            child->m_parent = nullptr;
            list.erase(it); // the caller's hold keeps the child alive
            return;
        }
}

bool Node::addChild(NodeRefPtr child)
{
    if (!canAdopt(child.getCPtr()))
        return false;
    detachFromParent(child.getCPtr());
    child->m_parent = this;
    m_children.push_back(std::move(child));
    return true;
}

bool Node::insertChild(UInt32 index, NodeRefPtr child)
{
    if (!canAdopt(child.getCPtr()) || index > m_children.size())
        return false;
    // Moving a child within this node shifts the ones after it.
    if (child->m_parent == this && UInt32(findChild(NodePtr(child))) < index)
        --index;
    detachFromParent(child.getCPtr());
    child->m_parent = this;
    m_children.insert(m_children.begin() + std::ptrdiff_t(index), std::move(child));
    return true;
}

bool Node::replaceChild(UInt32 index, NodeRefPtr child)
{
    if (index >= m_children.size())
        return false;
    NodeRefPtr old = m_children[index];
    return replaceChildBy(NodePtr(old), std::move(child));
}

bool Node::replaceChildBy(const NodePtr& oldChild, NodeRefPtr newChild)
{
    if (findChild(oldChild) < 0 || !canAdopt(newChild.getCPtr()))
        return false;
    if (newChild.getCPtr() == oldChild.getCPtr())
        return true;
    NodeRefPtr old(oldChild); // keeps it alive until it is out of the list
    detachFromParent(newChild.getCPtr());
    const Int32 index = findChild(oldChild);
    old->m_parent = nullptr;
    newChild->m_parent = this;
    m_children[std::size_t(index)] = std::move(newChild);
    return true;
}

bool Node::subChild(const NodePtr& child)
{
    const Int32 index = findChild(child);
    return index >= 0 && subChild(UInt32(index));
}

bool Node::subChild(UInt32 index)
{
    if (index >= m_children.size())
        return false;
    NodeRefPtr child = std::move(m_children[index]);
    m_children.erase(m_children.begin() + std::ptrdiff_t(index));
    child->m_parent = nullptr;
    return true;
}

std::vector<NodeRefPtr> Node::takeChildren()
{
    std::vector<NodeRefPtr> children;
    children.swap(m_children);
    for (const NodeRefPtr& child : children)
        child->m_parent = nullptr;
    return children;
}

std::vector<FieldContainerPtr> Node::getUsers() const
{
    std::vector<FieldContainerPtr> out;
    if (m_parent)
        out.emplace_back(m_parent);
    getUserList().forEach([&](FieldContainer* u) { out.emplace_back(u); });
    return out;
}

} // namespace osg
