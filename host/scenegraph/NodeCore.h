// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/AttachmentContainer.h"
#include "scenegraph/Node.h"

#include <vector>

namespace osg {

// What a node is (group, transform, geometry, reference, ...). One core may
// serve several nodes: those nodes are clones of each other.
class NodeCore : public AttachmentContainer {
public:
    enum { NextFieldId = AttachmentContainer::NextFieldId };

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;

    // The nodes using this core, in the order they took it.
    std::vector<NodePtr> getParents() const;
    UInt32 getNParents() const { return UInt32(getUserList().size()); }
    // The same nodes without building a list: passes over many cores (the
    // reference registry's scene queries) would pay an allocation each.
    template <class F> void forEachParent(F&& f) const;

protected:
    NodeCore();
    ~NodeCore() override;
};

template <class F> void NodeCore::forEachParent(F&& f) const
{
    // Only nodes hold edges to cores.
    getUserList().forEach([&](FieldContainer* user) { f(NodePtr(static_cast<Node*>(user))); });
}

} // namespace osg
