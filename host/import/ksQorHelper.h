// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

// Recognises trees that the CAD converter made. The converter marks the root
// of such a tree with bit 0 (ConvertedTreeFlag) of the node's ExternalFlags;
// the tree optimisation clears it once it has run.
class ksQorHelper
{
public:
    static constexpr osg::UInt32 ConvertedTreeFlag = 0x1;

    static bool isConvertedQorTree(const osg::NodePtr& root);
    // Published as an edit of the root's ExternalFlags.
    static void setConvertedQorTree(const osg::NodePtr& root, bool converted);
};
