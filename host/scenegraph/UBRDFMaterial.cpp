// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/UBRDFMaterial.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/ReferenceFieldDescription.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

namespace {
bool s_ignoreDefaultEnvironment = false;
UInt32 s_defaultEnvironmentId = 0;
} // namespace

const FieldContainerType& UBRDFMaterial::getClassType()
{
    static const FieldContainerType type(
        "UBRDFMaterial", typeIdOf(BuiltinTypeId::UBRDFMaterial), &Material::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(makeReferenceField("Environment", EnvironmentFieldId,
                                                          &UBRDFMaterial::m_environment,
                                                          &UBRDFMaterial::setEnvironment),
                                       makeValueField("DiffuseColor", DiffuseColorFieldId,
                                                      &UBRDFMaterial::m_diffuseColor)));
    return type;
}

const FieldContainerType& UBRDFMaterial::getType() const
{
    return getClassType();
}

UBRDFMaterialRefPtr UBRDFMaterial::create()
{
    return createContainer<UBRDFMaterial>();
}

UBRDFMaterial::UBRDFMaterial() = default;

UBRDFMaterial::~UBRDFMaterial()
{
    if (m_environment)
        removeUserFrom(m_environment.getCPtr());
}

MaterialPtr UBRDFMaterial::getEnvironment() const
{
    return MaterialPtr(m_environment);
}

void UBRDFMaterial::setEnvironment(MaterialRefPtr environment)
{
    // A chain of environments that came back here would own itself and
    // never go.
    for (Material* m = environment.getCPtr(); m;) {
        if (m == this)
            return;
        if (!m->getType().isDerivedFrom(getClassType()))
            break;
        m = static_cast<UBRDFMaterial*>(m)->m_environment.getCPtr();
    }
    assignReference(m_environment, std::move(environment));
}

void UBRDFMaterial::setIgnoreDefaultEnvironment(bool ignore)
{
    s_ignoreDefaultEnvironment = ignore;
}

bool UBRDFMaterial::getIgnoreDefaultEnvironment()
{
    return s_ignoreDefaultEnvironment;
}

void UBRDFMaterial::setDefaultEnvironment(const MaterialPtr& environment)
{
    s_defaultEnvironmentId = environment.getFieldContainerId();
}

MaterialPtr UBRDFMaterial::getDefaultEnvironment()
{
    return MaterialPtr::dcast(FieldContainerFactory::the()->getContainer(s_defaultEnvironmentId));
}

void UBRDFMaterial::changed(BitVector whichField, UInt32 origin)
{
    Material::changed(whichField, origin);
    if ((whichField & EnvironmentFieldMask) && !m_environment && !s_ignoreDefaultEnvironment)
        setEnvironment(getDefaultEnvironment());
}

} // namespace osg
