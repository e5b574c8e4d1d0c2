// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/FileReference.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/ValueFieldDescription.h"

#include <memory>

namespace osg {

namespace {
// As for the reference core's hooks: shared, so a hook may replace itself
// while it runs; never destroyed.
using HookPtr = std::shared_ptr<const FileReference::PoolCallback>;
HookPtr& updateHook()
{
    static auto* hook = new HookPtr();
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
    updateHook() = callback ? std::make_shared<const PoolCallback>(std::move(callback)) : HookPtr();
}

void FileReference::notifyPool()
{
    if (HookPtr hook = updateHook())
        (*hook)(FileReferencePtr(this));
}

} // namespace osg
