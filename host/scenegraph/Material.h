// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/AttachmentContainer.h"

namespace osg {

// The base of all materials. Its users are the geometries, material groups
// and materials that point to it.
class Material : public AttachmentContainer {
public:
    enum { NextFieldId = AttachmentContainer::NextFieldId };

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;

protected:
    Material();
    ~Material() override;
};

using MaterialBase = Material;

} // namespace osg
