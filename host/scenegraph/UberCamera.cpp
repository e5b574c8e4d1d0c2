// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/UberCamera.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

const FieldContainerType& UberCamera::getClassType()
{
    static const FieldContainerType type(
        "UberCamera", typeIdOf(BuiltinTypeId::UberCamera), &NodeCore::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(makeValueField("FieldOfView", FieldOfViewFieldId, &UberCamera::m_fieldOfView),
                                       makeValueField("NearClip", NearClipFieldId, &UberCamera::m_nearClip),
                                       makeValueField("FarClip", FarClipFieldId, &UberCamera::m_farClip)));
    return type;
}

const FieldContainerType& UberCamera::getType() const
{
    return getClassType();
}

UberCameraRefPtr UberCamera::create()
{
    return createContainer<UberCamera>();
}

UberCamera::UberCamera() = default;
UberCamera::~UberCamera() = default;

} // namespace osg
