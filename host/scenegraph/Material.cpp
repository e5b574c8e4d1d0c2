// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Material.h"

#include "scenegraph/BuiltinTypeIds.h"

namespace osg {

const FieldContainerType& Material::getClassType()
{
    static const FieldContainerType type("Material", typeIdOf(BuiltinTypeId::Material),
                                         &AttachmentContainer::getClassType(), nullptr, {});
    return type;
}

const FieldContainerType& Material::getType() const
{
    return getClassType();
}

Material::Material() = default;
Material::~Material() = default;

} // namespace osg
