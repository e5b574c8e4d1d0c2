// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

// Scene-graph shortcuts of the host.
class ksOpenSGUtils
{
public:
    // The live scene's root (the one ksScenegraph registered), or NullFC.
    static osg::NodePtr getRoot();
};
