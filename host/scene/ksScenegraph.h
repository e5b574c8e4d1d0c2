// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/HandleTypes.h"

#include <QObject>

#include <cstdint>
#include <string>

// The live scene: its root, replacing it, view refreshes, and the structural
// edits the host offers to modules (deleting nodes, changing a node's core
// type, giving a clone its own content).
class ksScenegraph : public QObject
{
    Q_OBJECT
public:
    // How unshareNode copies.
    enum UnshareBehaviour {
        UnshareNodeCore = 0, // only the node's own core
        UnshareSubtree = 1,  // also every core below it that nodes outside the subtree share
    };

    static ksScenegraph* instance();

    // The live root, a node with a Group core named "Root". Made on first
    // use and registered as the scene graph's scene root.
    static osg::NodePtr getRoot();
    // Drops the live scene and starts an empty one: a new root, an empty
    // material pool and undo history. Emits sceneReplaced.
    static void newScene();
    // Makes `content` the live scene: a loaded root named "Root" gives its
    // children to a new root, any other node becomes the new root's only
    // child. Emits sceneReplaced.
    static void replaceScene(const osg::NodePtr& content);

    // Asks the views to refresh. Requests in one turn of the event loop are
    // folded into one `updated` signal; with `immediately` it is emitted
    // before the call returns.
    static void update(bool immediately = false);
    static std::uint64_t getUpdateRequestCount();

    // Takes the node out of its parent (an edit of the parent's children);
    // it is destroyed unless someone else holds it. With `validatePools` the
    // material pool then drops the materials nothing uses any more. False
    // for a null node, a node without parent, and the live root.
    static bool deleteNode(const osg::NodePtr& node, bool validatePools = true);

    // Gives every node using `node`'s core a new core of the named type (e.g.
    // "ExtReference", "Transform3D"), keeping the fields both types share
    // (transform, attachments, ...). True when the node has a core of that
    // type afterwards; false for an unknown or abstract type, a type that is
    // not a core, or a null node. The old core's own fields (records of a
    // reference, ...) go with it.
    static bool convertCore(const osg::NodePtr& node, const std::string& typeName);

    // Gives `node` its own copy of content it shares with clones, as the
    // behaviour says. Copies keep every field; reference cores get copies of
    // their file records. Materials and core attachments stay shared unless
    // `duplicateMaterials` / `duplicateAttachments`. Returns `node` when
    // something was copied, NullFC when nothing was shared.
    static osg::NodePtr unshareNode(const osg::NodePtr& node, int behaviour, bool duplicateMaterials,
                                    bool duplicateAttachments);

signals:
    void updated();
    void sceneReplaced();

private:
    explicit ksScenegraph(QObject* parent = nullptr);
    void requestUpdate(bool immediately);

    bool m_updatePending = false;
    std::uint64_t m_updateRequests = 0;
};
