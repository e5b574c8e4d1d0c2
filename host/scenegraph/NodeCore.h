// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/AttachmentContainer.h"

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

protected:
    NodeCore();
    ~NodeCore() override;
};

} // namespace osg
