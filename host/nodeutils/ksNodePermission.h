// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

// Whether the user may do something to a node. A node is protected when it
// or any node above it is locked (ksNodeUtils::getLock); selection also
// needs the node to be selectable, and the live scene's root can be neither
// deleted, moved nor renamed.
class ksNodePermission
{
public:
    enum Action {
        Select = 0,
        Modify = 1, // fields, core, attachments
        Delete = 2,
        Rename = 3,
        AddChildren = 4,
        Move = 5,
    };

    // False for a null node.
    static bool allows(const osg::NodePtr& node, Action action);
};
