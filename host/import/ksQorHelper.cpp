// Licensed under the MIT licence; see LICENSE.
#include "import/ksQorHelper.h"

#include "scenegraph/Node.h"

using namespace osg;

bool ksQorHelper::isConvertedQorTree(const NodePtr& root)
{
    return root && (root->getExternalFlags() & ConvertedTreeFlag) != 0;
}

void ksQorHelper::setConvertedQorTree(const NodePtr& root, bool converted)
{
    if (!root || isConvertedQorTree(root) == converted)
        return;
    beginEditCP(root, Node::ExternalFlagsFieldMask);
    root->setExternalFlags(converted ? (root->getExternalFlags() | ConvertedTreeFlag)
                                     : (root->getExternalFlags() & ~ConvertedTreeFlag));
    endEditCP(root, Node::ExternalFlagsFieldMask);
}
