// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

#include <string>
#include <vector>

// Everyday questions and small edits on scene nodes: names, file information,
// lock and selectability, ancestry, and keeping clone trees in step.
//
// Lock and selectability are bits of the node's Flags field:
//   bit 0 (0x1) LockedFlag: the user locked the node; operations leave it alone;
//   bit 1 (0x2) UnselectableFlag: picking and selection skip the node.
// Bit 12 (0x1000) belongs to other code and is never touched here. Both bits
// are clear on a fresh node: unlocked and selectable.
class ksNodeUtils
{
public:
    enum NodeFlag : osg::UInt32 {
        LockedFlag = 0x1,
        UnselectableFlag = 0x2,
    };

    // The node's name (its Name attachment), empty when it has none.
    static std::string getName(const osg::NodePtr& node);

    // Names the node. With `publish` the change is published (an edit of the
    // name, or of the node's attachments when it had no name yet), so change
    // observers see it. When `uniqueAmong` is set the name is first made
    // unique among the names of that subtree (see getUniqueName). Clones that
    // shared one Name attachment keep their old name: the renamed node gets
    // an attachment of its own.
    static void setName(const osg::NodePtr& node, const std::string& name, bool publish = true,
                        const osg::NodePtr& uniqueAmong = osg::NullFC);
    // A new detached node showing `core`, named `name` unless it is empty
    // (unpublished: nobody observes a node that is not in a scene yet).
    static osg::NodeRefPtr createNode(osg::NodeCoreRefPtr core, const std::string& name);
    // The same, as one undoable step of the scene's undo stack named
    // `undoText`; an empty text names without an undo step.
    static void setName(const osg::NodePtr& node, const std::string& name, bool publish,
                        const std::string& undoText);

    // `name` when no node below `root` (the live scene's root when null)
    // carries it, else the first free of "name_1", "name_2", ...
    static std::string getUniqueName(const std::string& name, const osg::NodePtr& root = osg::NullFC);

    // The path in the node's FileInfo attachment (binding 0), empty when none.
    static std::string getFileInfo(const osg::NodePtr& node);

    static bool getLock(const osg::NodePtr& node);
    // Published as an edit of the node's Flags field.
    static void setLock(const osg::NodePtr& node, bool locked);
    static bool isSelectable(const osg::NodePtr& node);
    static void setSelectable(const osg::NodePtr& node, bool selectable);

    // `ancestor` is `node` itself or lies above it. So hasParent(n, root) says
    // whether `n` hangs in the tree of `root`.
    static bool hasParent(const osg::NodePtr& node, const osg::NodePtr& ancestor);

    // Takes the node out of its parent (an edit of the parent's children).
    // The caller must hold the node if it is to survive. False without parent.
    static bool subFromParent(const osg::NodePtr& node);

    // `other`'s subtree becomes an instance of `master`'s: its children are
    // replaced by new nodes that share the cores (and attachments) of
    // `master`'s children, all the way down. The two top nodes keep their
    // own cores, so a reference node keeps its own records. Published as one
    // edit of `other`'s children. Nothing happens when `other` is `master`
    // or lies inside `master`'s subtree (or the reverse).
    static void syncCloneTree(const osg::NodePtr& master, const osg::NodePtr& other);

    // Clone trees: nodes that share one core show the same subtree. After
    // `node`'s children changed, every other node using `node`'s core is
    // synced to `node` (syncCloneTree). With `recursive` the same is done for
    // every node below `node` whose core is shared.
    static void syncAllCloneTrees(const osg::NodePtr& node, bool recursive);

    // Synchronized trees: nodes the user tied together without sharing their
    // top cores (e.g. two references of one file). The registry keeps node
    // ids, so a node that is gone simply drops out.
    static void setSynchronized(const osg::NodePtr& a, const osg::NodePtr& b);
    static void removeSynchronized(const osg::NodePtr& node);
    // The other live nodes tied to `node`.
    static std::vector<osg::NodePtr> getSynchronizedTrees(const osg::NodePtr& node);
    // Syncs every node tied to `node` to `node`'s subtree.
    static void syncAllSynchronizedTrees(const osg::NodePtr& node);

    // Housekeeping after large changes: the material pool drops materials
    // nothing uses any more, and the synchronized-tree registry forgets
    // nodes that are gone.
    static void validatePools();

private:
    static void setFlag(const osg::NodePtr& node, osg::UInt32 flag, bool on);
};
