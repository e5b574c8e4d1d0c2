// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/Material.h"

#include <string>

namespace osg {

// An environment: the surrounding image that lights and reflects in
// BRDF materials.
class UEnvironmentMaterial : public Material {
public:
    enum { ImagePathFieldId = Material::NextFieldId, ExposureFieldId, NextFieldId };
    static constexpr BitVector ImagePathFieldMask = fieldMask(ImagePathFieldId);
    static constexpr BitVector ExposureFieldMask = fieldMask(ExposureFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static UEnvironmentMaterialRefPtr create();

    const std::string& getImagePath() const { return m_imagePath; }
    void setImagePath(const std::string& path) { m_imagePath = path; }
    Real32 getExposure() const { return m_exposure; }
    void setExposure(Real32 exposure) { m_exposure = exposure; }

protected:
    UEnvironmentMaterial();
    ~UEnvironmentMaterial() override;

private:
    friend class FieldContainer;

    std::string m_imagePath;
    Real32 m_exposure = 0;
};

using UEnvironmentMaterialBase = UEnvironmentMaterial;

} // namespace osg
