// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/AttachmentContainer.h"

#include <vector>

namespace osg {

class NodeCore;
namespace detail {
struct ObserverList;
}

// A place in the tree: one parent at most, ordered children it owns, and a
// core it shares with its clones. Adding a child that has a parent moves it;
// a node never becomes its own ancestor (such calls are refused).
class Node : public AttachmentContainer {
public:
    enum {
        CoreFieldId = AttachmentContainer::NextFieldId,
        ChildrenFieldId,
        FlagsFieldId,
        TravMaskFieldId,
        ExternalFlagsFieldId,
        IndexFieldId,
        NextFieldId
    };
    static constexpr BitVector CoreFieldMask = fieldMask(CoreFieldId);
    static constexpr BitVector ChildrenFieldMask = fieldMask(ChildrenFieldId);
    static constexpr BitVector FlagsFieldMask = fieldMask(FlagsFieldId);
    static constexpr BitVector TravMaskFieldMask = fieldMask(TravMaskFieldId);
    static constexpr BitVector ExternalFlagsFieldMask = fieldMask(ExternalFlagsFieldId);
    static constexpr BitVector IndexFieldMask = fieldMask(IndexFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static NodeRefPtr create();

    NodeCorePtr getCore() const;
    void setCore(NodeCoreRefPtr core);

    NodePtr getParent() const { return NodePtr(m_parent); }

    UInt32 getNChildren() const { return UInt32(m_children.size()); }
    // NullFC when `index` is out of range.
    NodePtr getChild(UInt32 index) const;
    const std::vector<NodeRefPtr>& getMFChildren() const { return m_children; }
    // Index of `child` among the children, or -1.
    Int32 findChild(const NodePtr& child) const;

    // These return false and change nothing for a null child, an index out
    // of range, or a child that is this node or one of its ancestors.
    bool addChild(NodeRefPtr child);
    bool insertChild(UInt32 index, NodeRefPtr child);
    bool replaceChild(UInt32 index, NodeRefPtr child);
    bool replaceChildBy(const NodePtr& oldChild, NodeRefPtr newChild);
    bool subChild(const NodePtr& child);
    bool subChild(UInt32 index);
    // Every child in order, this node left without any: a whole level moves
    // in one pass, where taking child 0 again and again shifts the rest.
    std::vector<NodeRefPtr> takeChildren();

    UInt32 getFlags() const { return m_flags; }
    void setFlags(UInt32 flags) { m_flags = flags; }
    UInt32 getTravMask() const { return m_travMask; }
    void setTravMask(UInt32 mask) { m_travMask = mask; }
    UInt32 getExternalFlags() const { return m_externalFlags; }
    void setExternalFlags(UInt32 flags) { m_externalFlags = flags; }
    Int32 getIndex() const { return m_index; }
    void setIndex(Int32 index) { m_index = index; }

    // The parent first, then any other container holding this node.
    std::vector<FieldContainerPtr> getUsers() const override;

protected:
    Node();
    ~Node() override;

private:
    friend class FieldContainer;
    friend class ChangeObservers;
    friend class ChildrenFieldDescription;

    bool canAdopt(const Node* child) const;
    // Takes `child` out of its parent's list (the caller holds it).
    static void detachFromParent(Node* child);

    // The children first, next to the id and count a walk touches.
    std::vector<NodeRefPtr> m_children;
    Node* m_parent = nullptr; // back-link: the parent owns this node, not the reverse
    NodeCoreRefPtr m_core;
    UInt32 m_flags = 0;
    UInt32 m_travMask = ~UInt32(0);
    UInt32 m_externalFlags = 0;
    Int32 m_index = 0;
    detail::ObserverList* m_observers = nullptr; // owned by ChangeObservers
};

} // namespace osg
