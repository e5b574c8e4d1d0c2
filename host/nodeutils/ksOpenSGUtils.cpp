// Licensed under the MIT licence; see LICENSE.
#include "nodeutils/ksOpenSGUtils.h"

#include "scenegraph/NodeUtils.h"

osg::NodePtr ksOpenSGUtils::getRoot()
{
    return osg::NodeUtils::getSceneRoot();
}
