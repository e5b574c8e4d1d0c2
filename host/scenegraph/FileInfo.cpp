// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FileInfo.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

const FieldContainerType& FileInfo::getClassType()
{
    static const FieldContainerType type(
        "FileInfo", typeIdOf(BuiltinTypeId::FileInfo), &Attachment::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(makeValueField("Path", PathFieldId, &FileInfo::m_path)));
    return type;
}

const FieldContainerType& FileInfo::getType() const
{
    return getClassType();
}

FileInfoRefPtr FileInfo::create()
{
    return createContainer<FileInfo>();
}

FileInfo::FileInfo() = default;
FileInfo::~FileInfo() = default;

} // namespace osg
