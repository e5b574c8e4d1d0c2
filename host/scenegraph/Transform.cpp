// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Transform.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

const FieldContainerType& Transform::getClassType()
{
    static const FieldContainerType type(
        "Transform", typeIdOf(BuiltinTypeId::Transform), &Group::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(makeValueField("Matrix", MatrixFieldId, &Transform::m_matrix)));
    return type;
}

const FieldContainerType& Transform::getType() const
{
    return getClassType();
}

TransformRefPtr Transform::create()
{
    return createContainer<Transform>();
}

Transform::Transform() = default;
Transform::~Transform() = default;

} // namespace osg
