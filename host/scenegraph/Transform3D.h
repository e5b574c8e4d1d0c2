// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/Transform.h"

namespace osg {

// A transform made of parts: the matrix follows from translation, rotation
// (degrees about X, then Y, then Z), scale and the centre that rotation and
// scale act around. Setting a part recomputes the matrix.
class Transform3D : public Transform {
public:
    enum {
        TranslationFieldId = Transform::NextFieldId,
        RotationFieldId,
        ScaleFieldId,
        CenterFieldId,
        NextFieldId
    };
    static constexpr BitVector TranslationFieldMask = fieldMask(TranslationFieldId);
    static constexpr BitVector RotationFieldMask = fieldMask(RotationFieldId);
    static constexpr BitVector ScaleFieldMask = fieldMask(ScaleFieldId);
    static constexpr BitVector CenterFieldMask = fieldMask(CenterFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static Transform3DRefPtr create();

    // The mask of every field that makes up the transform, matrix included.
    static BitVector getCombinedTransformAttributesMask();

    const Vec3f& getTranslation() const { return m_translation; }
    void setTranslation(const Vec3f& t);
    const Vec3f& getRotation() const { return m_rotation; }
    void setRotation(const Vec3f& degrees);
    const Vec3f& getScale() const { return m_scale; }
    void setScale(const Vec3f& s);
    const Vec3f& getCenter() const { return m_center; }
    void setCenter(const Vec3f& c);

    // Copies the transform fields of `other` selected by `mask`. The matrix is
    // recomputed when parts were copied without it.
    void syncWith(const Transform3DPtr& other, BitVector mask = getCombinedTransformAttributesMask());

protected:
    Transform3D();
    ~Transform3D() override;

private:
    friend class FieldContainer;

    void updateMatrix();

    Vec3f m_translation;
    Vec3f m_rotation;
    Vec3f m_scale{1, 1, 1};
    Vec3f m_center;
};

// The host API's name for the class (`Transform3DBase::create`); the code writes Transform3D::create().
using Transform3DBase = Transform3D;

} // namespace osg
