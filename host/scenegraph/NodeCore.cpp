// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/NodeCore.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/Node.h"

namespace osg {

const FieldContainerType& NodeCore::getClassType()
{
    static const FieldContainerType type("NodeCore", typeIdOf(BuiltinTypeId::NodeCore),
                                         &AttachmentContainer::getClassType(), nullptr, {});
    return type;
}

const FieldContainerType& NodeCore::getType() const
{
    return getClassType();
}

NodeCore::NodeCore() = default;
NodeCore::~NodeCore() = default;

std::vector<NodePtr> NodeCore::getParents() const
{
    // Only nodes hold edges to cores.
    std::vector<NodePtr> out;
    out.reserve(getUserList().size());
    getUserList().forEach([&](FieldContainer* user) { out.emplace_back(static_cast<Node*>(user)); });
    return out;
}

} // namespace osg
