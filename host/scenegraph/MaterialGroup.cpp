// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/MaterialGroup.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/Material.h"
#include "scenegraph/ReferenceFieldDescription.h"

namespace osg {

const FieldContainerType& MaterialGroup::getClassType()
{
    static const FieldContainerType type(
        "MaterialGroup", typeIdOf(BuiltinTypeId::MaterialGroup), &Group::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(makeReferenceField("Material", MaterialFieldId, &MaterialGroup::m_material,
                                                          &MaterialGroup::setMaterial)));
    return type;
}

const FieldContainerType& MaterialGroup::getType() const
{
    return getClassType();
}

MaterialGroupRefPtr MaterialGroup::create()
{
    return createContainer<MaterialGroup>();
}

MaterialGroup::MaterialGroup() = default;

MaterialGroup::~MaterialGroup()
{
    if (m_material)
        removeUserFrom(m_material.getCPtr());
}

MaterialPtr MaterialGroup::getMaterial() const
{
    return MaterialPtr(m_material);
}

void MaterialGroup::setMaterial(MaterialRefPtr material)
{
    assignReference(m_material, std::move(material));
}

} // namespace osg
