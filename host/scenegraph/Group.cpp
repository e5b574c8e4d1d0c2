// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Group.h"

#include "scenegraph/BuiltinTypeIds.h"

namespace osg {

const FieldContainerType& Group::getClassType()
{
    static const FieldContainerType type("Group", typeIdOf(BuiltinTypeId::Group), &NodeCore::getClassType(),
                                         [] { return FieldContainerRefPtr(create()); }, {});
    return type;
}

const FieldContainerType& Group::getType() const
{
    return getClassType();
}

GroupRefPtr Group::create()
{
    return createContainer<Group>();
}

Group::Group() = default;
Group::~Group() = default;

} // namespace osg
