// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Attachment.h"

#include "scenegraph/BuiltinTypeIds.h"

namespace osg {

const FieldContainerType& Attachment::getClassType()
{
    static const FieldContainerType type("Attachment", typeIdOf(BuiltinTypeId::Attachment),
                                         &FieldContainer::getClassType(), nullptr, {});
    return type;
}

const FieldContainerType& Attachment::getType() const
{
    return getClassType();
}

Attachment::Attachment() = default;
Attachment::~Attachment() = default;

} // namespace osg
