// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/Transform3D.h"

#include <functional>

namespace osg {

// The core of a reference node: a transform that also holds the records of
// the files its content comes from (source) and is saved to (smart), and the
// reference's load state.
//
// The reference pool follows these cores through three static hooks: every
// new core is announced when it is created (also by the file reader), every
// core runs the remove hook first when it is destroyed, and the update hook
// runs when an edit of a core ends. An empty callable switches a hook off.
// The hooks must take a repeated add or remove of one core as a no-op.
class ExtReference : public Transform3D {
public:
    enum { SourceFileFieldId = Transform3D::NextFieldId, SmartFileFieldId, StateFieldId, NextFieldId };
    static constexpr BitVector SourceFileFieldMask = fieldMask(SourceFileFieldId);
    static constexpr BitVector SmartFileFieldMask = fieldMask(SmartFileFieldId);
    static constexpr BitVector StateFieldMask = fieldMask(StateFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    using PoolCallback = std::function<void(const ExtReferencePtr&)>;

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static ExtReferenceRefPtr create();

    FileReferencePtr getSourceFile() const;
    void setSourceFile(FileReferenceRefPtr record);
    FileReferencePtr getSmartFile() const;
    void setSmartFile(FileReferenceRefPtr record);
    UInt32 getState() const { return m_state; }
    void setState(UInt32 state) { m_state = state; }

    static void setAddToPoolCallback(PoolCallback callback);
    static void setRemoveFromPoolCallback(PoolCallback callback);
    static void setUpdateInPoolCallback(PoolCallback callback);

    // For steps that take a core's nodes out of the scene but keep them to
    // be able to undo (and put them back): the pool hears of the core through
    // the same hooks as if it were destroyed or created. A core withdrawn
    // this way runs the remove hook once more when it is really destroyed.
    static void withdrawFromPool(const ExtReferencePtr& core);
    static void returnToPool(const ExtReferencePtr& core);

protected:
    ExtReference();
    ~ExtReference() override;

    void onCreate() override;
    void onDestroy() override;
    void notifyPool() override;

private:
    friend class FieldContainer;

    FileReferenceRefPtr m_sourceFile;
    FileReferenceRefPtr m_smartFile;
    UInt32 m_state = 0;
};

// The host API's name for the class (`ExtReferenceBase::create`); the code writes ExtReference::create().
using ExtReferenceBase = ExtReference;

} // namespace osg
