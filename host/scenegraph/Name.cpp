// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/Name.h"

#include "scenegraph/AttachmentContainer.h"
#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

const FieldContainerType& Name::getClassType()
{
    static const FieldContainerType type(
        "Name", typeIdOf(BuiltinTypeId::Name), &Attachment::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(makeValueField("Name", NameFieldId, &Name::m_name)));
    return type;
}

const FieldContainerType& Name::getType() const
{
    return getClassType();
}

NameRefPtr Name::create()
{
    return createContainer<Name>();
}

Name::Name() = default;
Name::~Name() = default;

std::string getName(const AttachmentContainerPtr& container)
{
    if (!container)
        return {};
    NamePtr name = NamePtr::dcast(container->findAttachment(Name::getClassType().getGroupId()));
    return name ? name->getName() : std::string();
}

void setName(const AttachmentContainerPtr& container, const std::string& name)
{
    if (!container)
        return;
    NamePtr existing = NamePtr::dcast(container->findAttachment(Name::getClassType().getGroupId()));
    if (existing) {
        existing->setName(name);
        return;
    }
    NameRefPtr fresh = Name::create();
    fresh->setName(name);
    container->addAttachment(fresh);
}

} // namespace osg
