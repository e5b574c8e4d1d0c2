// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/BaseTypes.h"
#include "scenegraph/HandleTypes.h"

#include <vector>

// A list of node moves for ksMoveNodesCommand, carried out in the order they
// were added. Nodes are kept by id, so a move whose node or target is gone by
// the time it runs is left out. A move to a null parent is not recorded.
class ksNodeMovements
{
public:
    struct Movement
    {
        osg::UInt32 node;
        // 0: the node is taken out of its parent (a deletion).
        osg::UInt32 newParent;
        // Where under the new parent: appended, or right after `after` (at
        // the front when `after` is 0).
        bool append;
        osg::UInt32 after;
    };

    // Moves `node` under `newParent`, as its last child.
    void add(const osg::NodePtr& node, const osg::NodePtr& newParent);
    // Moves `node` under `newParent`, right after the child `after`; a null
    // `after` puts it first. When the move runs and `after` is no longer a
    // child of `newParent`, the node is appended.
    void add(const osg::NodePtr& node, const osg::NodePtr& newParent, const osg::NodePtr& after);
    // Takes `node` out of its parent; the command keeps it, so that undo can
    // put it back where it was.
    void remove(const osg::NodePtr& node);

    const std::vector<Movement>& getMovements() const { return m_movements; }
    bool isEmpty() const { return m_movements.empty(); }

private:
    std::vector<Movement> m_movements;
};
