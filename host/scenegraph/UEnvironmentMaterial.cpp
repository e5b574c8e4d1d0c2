// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/UEnvironmentMaterial.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

const FieldContainerType& UEnvironmentMaterial::getClassType()
{
    static const FieldContainerType type(
        "UEnvironmentMaterial", typeIdOf(BuiltinTypeId::UEnvironmentMaterial), &Material::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(
            makeValueField("ImagePath", ImagePathFieldId, &UEnvironmentMaterial::m_imagePath),
            makeValueField("Exposure", ExposureFieldId, &UEnvironmentMaterial::m_exposure)));
    return type;
}

const FieldContainerType& UEnvironmentMaterial::getType() const
{
    return getClassType();
}

UEnvironmentMaterialRefPtr UEnvironmentMaterial::create()
{
    return createContainer<UEnvironmentMaterial>();
}

UEnvironmentMaterial::UEnvironmentMaterial() = default;
UEnvironmentMaterial::~UEnvironmentMaterial() = default;

} // namespace osg
