// Licensed under the MIT licence; see LICENSE.
#include "undo/ksNodeMovements.h"

#include "scenegraph/Node.h"

void ksNodeMovements::add(const osg::NodePtr& node, const osg::NodePtr& newParent)
{
    m_movements.push_back(Movement{node.getFieldContainerId(), newParent.getFieldContainerId(), true, 0});
}

void ksNodeMovements::add(const osg::NodePtr& node, const osg::NodePtr& newParent, const osg::NodePtr& after)
{
    m_movements.push_back(
        Movement{node.getFieldContainerId(), newParent.getFieldContainerId(), false, after.getFieldContainerId()});
}
