// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/ExtReference.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/ReferenceFieldDescription.h"
#include "scenegraph/ValueFieldDescription.h"

namespace osg {

namespace {
// Never destroyed: containers released at process exit may still run them.
ExtReference::PoolCallback& addHook()
{
    static auto* hook = new ExtReference::PoolCallback();
    return *hook;
}
ExtReference::PoolCallback& removeHook()
{
    static auto* hook = new ExtReference::PoolCallback();
    return *hook;
}
ExtReference::PoolCallback& updateHook()
{
    static auto* hook = new ExtReference::PoolCallback();
    return *hook;
}
} // namespace

const FieldContainerType& ExtReference::getClassType()
{
    static const FieldContainerType type(
        "ExtReference", typeIdOf(BuiltinTypeId::ExtReference), &Transform3D::getClassType(),
        [] { return FieldContainerRefPtr(create()); },
        FieldContainerType::makeFields(
            makeReferenceField("SourceFile", SourceFileFieldId, &ExtReference::m_sourceFile,
                               &ExtReference::setSourceFile),
            makeReferenceField("SmartFile", SmartFileFieldId, &ExtReference::m_smartFile, &ExtReference::setSmartFile),
            makeValueField("State", StateFieldId, &ExtReference::m_state)));
    return type;
}

const FieldContainerType& ExtReference::getType() const
{
    return getClassType();
}

ExtReferenceRefPtr ExtReference::create()
{
    return createContainer<ExtReference>();
}

ExtReference::ExtReference() = default;

ExtReference::~ExtReference()
{
    if (m_sourceFile)
        removeUserFrom(m_sourceFile.getCPtr());
    if (m_smartFile)
        removeUserFrom(m_smartFile.getCPtr());
}

FileReferencePtr ExtReference::getSourceFile() const
{
    return FileReferencePtr(m_sourceFile);
}

void ExtReference::setSourceFile(FileReferenceRefPtr record)
{
    assignReference(m_sourceFile, std::move(record));
}

FileReferencePtr ExtReference::getSmartFile() const
{
    return FileReferencePtr(m_smartFile);
}

void ExtReference::setSmartFile(FileReferenceRefPtr record)
{
    assignReference(m_smartFile, std::move(record));
}

void ExtReference::setAddToPoolCallback(PoolCallback callback)
{
    addHook() = std::move(callback);
}

void ExtReference::setRemoveFromPoolCallback(PoolCallback callback)
{
    removeHook() = std::move(callback);
}

void ExtReference::setUpdateInPoolCallback(PoolCallback callback)
{
    updateHook() = std::move(callback);
}

void ExtReference::onCreate()
{
    // A copy: the hook may replace itself while it runs.
    if (PoolCallback hook = addHook())
        hook(ExtReferencePtr(this));
}

void ExtReference::onDestroy()
{
    if (PoolCallback hook = removeHook())
        hook(ExtReferencePtr(this));
}

void ExtReference::notifyPool()
{
    if (PoolCallback hook = updateHook())
        hook(ExtReferencePtr(this));
}

} // namespace osg
