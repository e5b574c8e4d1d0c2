// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/Group.h"

namespace osg {

// A group whose material applies to everything below it.
class MaterialGroup : public Group {
public:
    enum { MaterialFieldId = Group::NextFieldId, NextFieldId };
    static constexpr BitVector MaterialFieldMask = fieldMask(MaterialFieldId);
    static_assert(NextFieldId <= 64, "field masks have 64 bits");

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static MaterialGroupRefPtr create();

    MaterialPtr getMaterial() const;
    void setMaterial(MaterialRefPtr material);

protected:
    MaterialGroup();
    ~MaterialGroup() override;

private:
    friend class FieldContainer;

    MaterialRefPtr m_material;
};

using MaterialGroupBase = MaterialGroup;

} // namespace osg
