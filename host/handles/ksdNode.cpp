// Licensed under the MIT licence; see LICENSE.
#include "handles/ksdNode.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdMetaTypes.h"
#include "nodeutils/ksNodeUtils.h"

namespace {

[[maybe_unused]] const bool g_registered = (ksdNode::registerMetaTypes(), true);

} // namespace

ksdNode::ksdNode()
    : ksdSceneObject(0, &staticMetaObject)
{
}

ksdNode::ksdNode(quint32 nodeId)
    : ksdSceneObject(nodeId, &staticMetaObject)
{
}

ksdNode::ksdNode(quint32 nodeId, const QMetaObject* type)
    : ksdSceneObject(nodeId, type)
{
}

ksdNode::ksdNode(const ksdNode& other) = default;

ksdNode& ksdNode::operator=(const ksdNode& other) = default;

ksdNode::~ksdNode() = default;

bool ksdNode::isLocked() const
{
    return ksNodeUtils::getLock(ksTypeConverter::convertNode(*this));
}

void ksdNode::registerMetaTypes()
{
    static const bool done = (ksdMetaTypes::registerHandle<ksdNode>("ksdNode", "QList<ksdNode>"), true);
    Q_UNUSED(done);
}
