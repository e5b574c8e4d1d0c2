// Licensed under the MIT licence; see LICENSE.
#include "undo/ksNodeMovements.h"

#include "scenegraph/Node.h"

void ksNodeMovements::add(const osg::NodePtr& node, const osg::NodePtr& newParent)
{
    if (newParent)
        m_movements.push_back(Movement{node.getFieldContainerId(), newParent.getFieldContainerId(), true, 0});
}

void ksNodeMovements::add(const osg::NodePtr& node, const osg::NodePtr& newParent, const osg::NodePtr& after)
{
    if (newParent)
        m_movements.push_back(
            Movement{node.getFieldContainerId(), newParent.getFieldContainerId(), false, after.getFieldContainerId()});
}

void ksNodeMovements::remove(const osg::NodePtr& node)
{
    m_movements.push_back(Movement{node.getFieldContainerId(), 0, true, 0});
}
