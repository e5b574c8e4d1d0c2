// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Transform3D.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

const FieldContainerType& Transform3D::getClassType()
{
    static const FieldContainerType type(
        "Transform3D", typeIdOf(BuiltinTypeId::Transform3D), &Transform::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(makeValueField("Translation", TranslationFieldId, &Transform3D::m_translation),
                                       makeValueField("Rotation", RotationFieldId, &Transform3D::m_rotation),
                                       makeValueField("Scale", ScaleFieldId, &Transform3D::m_scale),
                                       makeValueField("Center", CenterFieldId, &Transform3D::m_center)));
    return type;
}

const FieldContainerType& Transform3D::getType() const
{
    return getClassType();
}

Transform3DRefPtr Transform3D::create()
{
    return createContainer<Transform3D>();
}

Transform3D::Transform3D() = default;
Transform3D::~Transform3D() = default;

BitVector Transform3D::getCombinedTransformAttributesMask()
{
    return MatrixFieldMask | TranslationFieldMask | RotationFieldMask | ScaleFieldMask | CenterFieldMask;
}

void Transform3D::setTranslation(const Vec3f& t)
{
    m_translation = t;
    updateMatrix();
}

void Transform3D::setRotation(const Vec3f& degrees)
{
    m_rotation = degrees;
    updateMatrix();
}

void Transform3D::setScale(const Vec3f& s)
{
    m_scale = s;
    updateMatrix();
}

void Transform3D::setCenter(const Vec3f& c)
{
    m_center = c;
    updateMatrix();
}

void Transform3D::updateMatrix()
{
    m_matrix = Matrix::translation(m_translation + m_center) * Matrix::rotationEulerXYZ(m_rotation)
               * Matrix::scaling(m_scale) * Matrix::translation(-m_center);
}

void Transform3D::syncWith(const Transform3DPtr& other, BitVector mask)
{
    if (!other || other.getCPtr() == this)
        return;
    mask &= getCombinedTransformAttributesMask();
    for (const FieldDescription* field : getClassType().getFieldDescriptions())
        if (mask & field->getFieldMask())
            field->copyValue(*this, *other);
    if ((mask & ~MatrixFieldMask) && !(mask & MatrixFieldMask))
        updateMatrix();
}

} // namespace osg
