// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/Material.h"
#include "scenegraph/Vec3f.h"

namespace osg {

// A physically based material, lit by an environment.
//
// Default environment: the host names one environment as the default (see
// setDefaultEnvironment). While the default is not ignored, a material whose
// Environment is null when an edit of that field ends gets the default back
// in changed(), before the hooks and observers hear of the edit. While it is
// ignored (setIgnoreDefaultEnvironment(true), e.g. while a loader assigns
// environments of its own), null stays null.
class UBRDFMaterial : public Material {
public:
    enum { EnvironmentFieldId = Material::NextFieldId, DiffuseColorFieldId, NextFieldId };
    static constexpr BitVector EnvironmentFieldMask = fieldMask(EnvironmentFieldId);
    static constexpr BitVector DiffuseColorFieldMask = fieldMask(DiffuseColorFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static UBRDFMaterialRefPtr create();

    MaterialPtr getEnvironment() const;
    // Refused (nothing changes) when the chain of environments from
    // `environment` leads back to this material.
    void setEnvironment(MaterialRefPtr environment);
    const Vec3f& getDiffuseColor() const { return m_diffuseColor; }
    void setDiffuseColor(const Vec3f& color) { m_diffuseColor = color; }

    static void setIgnoreDefaultEnvironment(bool ignore);
    static bool getIgnoreDefaultEnvironment();
    // Not owned: the host keeps its default alive. A default that is gone
    // counts as none.
    static void setDefaultEnvironment(const MaterialPtr& environment);
    static MaterialPtr getDefaultEnvironment();

    void changed(BitVector whichField, UInt32 origin) override;

protected:
    UBRDFMaterial();
    ~UBRDFMaterial() override;

private:
    friend class FieldContainer;

    MaterialRefPtr m_environment;
    Vec3f m_diffuseColor{0.8f, 0.8f, 0.8f};
};

using UBRDFMaterialBase = UBRDFMaterial;

} // namespace osg
