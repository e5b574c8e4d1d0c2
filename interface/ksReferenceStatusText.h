// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

#include <string>

// The short text the host shows beside a reference node: "[smart | source]",
// each part the file's suffix when the file is named like the node, else the
// file name, coloured by the file's state. Main thread only.
class ksReferenceStatusText
{
public:
    // UTF-8; empty for a node that is not a reference node or whose records
    // name no file.
    static std::string get(const osg::NodePtr& node);
};
