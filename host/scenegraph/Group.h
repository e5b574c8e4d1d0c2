// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/NodeCore.h"

namespace osg {

// A core that only groups its node's children.
class Group : public NodeCore {
public:
    enum { NextFieldId = NodeCore::NextFieldId };

    static const FieldContainerType& getClassType();
    static UInt32 getClassTypeId() { return getClassType().getId(); }
    const FieldContainerType& getType() const override;
    static GroupRefPtr create();

protected:
    Group();
    ~Group() override;

private:
    friend class FieldContainer;
};

// The host API's name for the class (`GroupBase::create`); the code writes Group::create().
using GroupBase = Group;

} // namespace osg
