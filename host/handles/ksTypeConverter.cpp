// Licensed under the MIT licence; see LICENSE.
#include "handles/ksTypeConverter.h"

#include "handles/ksdObjectManager.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeCore.h"

namespace {

// ksdNode has no public way to carry another type; this one does.
class TypedNode : public ksdNode
{
public:
    TypedNode(quint32 nodeId, const QMetaObject* type)
        : ksdNode(nodeId, type ? type : &ksdNode::staticMetaObject)
    {
    }
};

} // namespace

ksdNode ksTypeConverter::convertNode(const osg::NodePtr& node)
{
    if (!node)
        return ksdNode();
    const osg::NodeCorePtr core = node->getCore();
    const QMetaObject* type = core ? ksdObjectManager::instance().getExternalType(core->getTypeId()) : nullptr;
    // A core's handle class that is no node handle (were one registered)
    // cannot type a node handle.
    if (type && !type->inherits(&ksdNode::staticMetaObject))
        type = nullptr;
    return TypedNode(node.getFieldContainerId(), type);
}

ksdNode ksTypeConverter::convertNode(quint32 nodeId)
{
    return convertNode(osg::NodePtr::dcast(osg::FieldContainerFactory::the()->getContainer(nodeId)));
}

osg::NodePtr ksTypeConverter::convertNode(const ksdNode& node)
{
    if (node.isNull())
        return osg::NullFC;
    return osg::NodePtr::dcast(osg::FieldContainerFactory::the()->getContainer(node.getObjectId()));
}
