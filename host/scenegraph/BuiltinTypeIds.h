// Licensed under the MIT licence; see LICENSE.
// The exact type ids of the built-in container types. Fixed numbers keep
// attachment keys (which embed group ids) and map orders the same in every
// run. Files store type names, never these numbers.
#pragma once

#include "scenegraph/BaseTypes.h"

namespace osg {

enum class BuiltinTypeId : UInt32 {
    FieldContainer = 1,
    AttachmentContainer,
    Attachment,
    Name,
    FileInfo,
    Node,
    NodeCore,
    Group,
    Transform,
    Transform3D,
    ExtReference,
    MaterialGroup,
    UberCamera,
    Geometry,
    FileReference,
    Material,
    UBRDFMaterial,
    UEnvironmentMaterial,
};

constexpr UInt32 typeIdOf(BuiltinTypeId id)
{
    return static_cast<UInt32>(id);
}

} // namespace osg
