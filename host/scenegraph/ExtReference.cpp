// Licensed under the MIT licence; see LICENSE.
#include "scenegraph/ExtReference.h"

#include "scenegraph/BuiltinTypeIds.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/ReferenceFieldDescription.h"
#include "scenegraph/ValueFieldDescription.h"

#include <memory>

namespace osg {

namespace {
// Held through shared pointers so that a hook may replace itself while it
// runs: the call keeps its own copy alive. Never destroyed: containers
// released at process exit may still run them.
using HookPtr = std::shared_ptr<const ExtReference::PoolCallback>;
HookPtr& addHook()
{
    static auto* hook = new HookPtr();
    return *hook;
}
HookPtr& removeHook()
{
    static auto* hook = new HookPtr();
    return *hook;
}
HookPtr& updateHook()
{
    static auto* hook = new HookPtr();
    return *hook;
}

void install(HookPtr& slot, ExtReference::PoolCallback callback)
{
    slot = callback ? std::make_shared<const ExtReference::PoolCallback>(std::move(callback)) : HookPtr();
}

void run(const HookPtr& slot, ExtReference* core)
{
    if (HookPtr hook = slot)
        (*hook)(ExtReferencePtr(core));
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
    install(addHook(), std::move(callback));
}

void ExtReference::setRemoveFromPoolCallback(PoolCallback callback)
{
    install(removeHook(), std::move(callback));
}

void ExtReference::setUpdateInPoolCallback(PoolCallback callback)
{
    install(updateHook(), std::move(callback));
}

void ExtReference::withdrawFromPool(const ExtReferencePtr& core)
{
    if (core)
        run(removeHook(), core.getCPtr());
}

void ExtReference::returnToPool(const ExtReferencePtr& core)
{
    if (core)
        run(addHook(), core.getCPtr());
}

void ExtReference::onCreate()
{
    run(addHook(), this);
}

void ExtReference::onDestroy()
{
    run(removeHook(), this);
}

void ExtReference::notifyPool()
{
    run(updateHook(), this);
}

} // namespace osg
