// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Geometry.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/Material.h"
#include "scenegraph/ReferenceFieldDescription.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

const FieldContainerType& Geometry::getClassType()
{
    static const FieldContainerType type(
        "Geometry", typeIdOf(BuiltinTypeId::Geometry), &NodeCore::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(
            makeValueField("Positions", PositionsFieldId, &Geometry::m_positions),
            makeValueField("Normals", NormalsFieldId, &Geometry::m_normals),
            makeValueField("Indices", IndicesFieldId, &Geometry::m_indices),
            makeReferenceField("Material", MaterialFieldId, &Geometry::m_material, &Geometry::setMaterial)));
    return type;
}

const FieldContainerType& Geometry::getType() const
{
    return getClassType();
}

GeometryRefPtr Geometry::create()
{
    return createContainer<Geometry>();
}

Geometry::Geometry() = default;

Geometry::~Geometry()
{
    if (m_material)
        removeUserFrom(m_material.getCPtr());
}

MaterialPtr Geometry::getMaterial() const
{
    return MaterialPtr(m_material);
}

void Geometry::setMaterial(MaterialRefPtr material)
{
    assignReference(m_material, std::move(material));
}

} // namespace osg
