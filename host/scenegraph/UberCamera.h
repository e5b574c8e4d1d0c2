// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/NodeCore.h"

namespace osg {

// A perspective camera core; the node's transform places it.
class UberCamera : public NodeCore {
public:
    enum { FieldOfViewFieldId = NodeCore::NextFieldId, NearClipFieldId, FarClipFieldId, NextFieldId };
    static constexpr BitVector FieldOfViewFieldMask = fieldMask(FieldOfViewFieldId);
    static constexpr BitVector NearClipFieldMask = fieldMask(NearClipFieldId);
    static constexpr BitVector FarClipFieldMask = fieldMask(FarClipFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static UberCameraRefPtr create();

    // Vertical field of view in degrees.
    Real32 getFieldOfView() const { return m_fieldOfView; }
    void setFieldOfView(Real32 degrees) { m_fieldOfView = degrees; }
    Real32 getNearClip() const { return m_nearClip; }
    void setNearClip(Real32 distance) { m_nearClip = distance; }
    Real32 getFarClip() const { return m_farClip; }
    void setFarClip(Real32 distance) { m_farClip = distance; }

protected:
    UberCamera();
    ~UberCamera() override;

private:
    friend class FieldContainer;

    Real32 m_fieldOfView = 45.0f;
    Real32 m_nearClip = 0.1f;
    Real32 m_farClip = 100000.0f;
};

using UberCameraBase = UberCamera;

} // namespace osg
