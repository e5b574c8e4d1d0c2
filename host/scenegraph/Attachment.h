// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/FieldContainer.h"

namespace osg {

// The base of data hung on nodes, cores and materials under a group id.
// Its users are the containers that carry it.
class Attachment : public FieldContainer {
public:
    enum { NextFieldId = FieldContainer::NextFieldId };

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;

protected:
    Attachment();
    ~Attachment() override;
};

} // namespace osg
