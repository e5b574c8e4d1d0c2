// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FileReference.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

namespace {
FileReference::PoolCallback& updateHook()
{
    static auto* hook = new FileReference::PoolCallback();
    return *hook;
}
} // namespace

const FieldContainerType& FileReference::getClassType()
{
    static const FieldContainerType type(
        "FileReference", typeIdOf(BuiltinTypeId::FileReference), &FieldContainer::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(
            makeValueField("Path", PathFieldId, &FileReference::m_path),
            makeValueField("RelativePath", RelativePathFieldId, &FileReference::m_relativePath),
            makeValueField("Owner", OwnerFieldId, &FileReference::m_owner),
            makeValueField("State", StateFieldId, &FileReference::m_state),
            makeValueField("Checksum", ChecksumFieldId, &FileReference::m_checksum),
            makeValueField("LastModified", LastModifiedFieldId, &FileReference::m_lastModified),
            makeValueField("ImportDate", ImportDateFieldId, &FileReference::m_importDate)));
    return type;
}

const FieldContainerType& FileReference::getType() const
{
    return getClassType();
}

FileReferenceRefPtr FileReference::create()
{
    return createContainer<FileReference>();
}

FileReference::FileReference() = default;
FileReference::~FileReference() = default;

void FileReference::setUpdateInPoolCallback(PoolCallback callback)
{
    updateHook() = std::move(callback);
}

void FileReference::notifyPool()
{
    if (PoolCallback hook = updateHook())
        hook(FileReferencePtr(this));
}

} // namespace osg
