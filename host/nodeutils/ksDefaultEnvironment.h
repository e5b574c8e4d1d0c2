// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

// The host's default environment: the environment that lights every BRDF
// material that names none. Made once, on first use, named
// "DefaultEnvironment", and registered with the scene graph as its default,
// so materials whose environment is cleared get it back.
class ksDefaultEnvironment
{
public:
    static osg::UEnvironmentMaterialPtr getDefault();
};
