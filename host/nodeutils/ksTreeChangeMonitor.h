// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "scenegraph/ChangeEvent.h"
#include "scenegraph/ChangeSubscription.h"
#include "scenegraph/HandleTypes.h"

#include <functional>
#include <unordered_map>

// Tells whether anything in a subtree was edited since a reset, e.g. the
// loaded content of a reference since it was loaded or saved.
//
// Built on the scene graph's change observers: the monitor subscribes to the
// watched node, and an edit reaches it only when the edited container hangs
// below that node, so an edit costs nothing for the monitors it does not
// concern. Edits can be left out by type or by container (bookkeeping
// fields), inside nested reference nodes, and of the watched node's
// visibility (its traversal mask). Moves of content (ContentMoveOrigin)
// never count.
class ksTreeChangeMonitor
{
public:
    using Callback = std::function<void()>;

    // The origin (see endEditCP) of an edit that moves a node's children
    // aside or back, e.g. content that is saved in a file of its own and
    // must stay out of the file being written. The children stay the same,
    // so no monitor counts the change of a node's children list under it.
    static constexpr osg::UInt32 ContentMoveOrigin = 0x100;

    // With `stopAtFirstChange` the monitor stops listening once it saw a
    // change (the state is sticky until the next reset, so later edits
    // cannot change the answer); otherwise it keeps counting changes.
    explicit ksTreeChangeMonitor(bool stopAtFirstChange = true);
    ~ksTreeChangeMonitor();
    ksTreeChangeMonitor(const ksTreeChangeMonitor&) = delete;
    ksTreeChangeMonitor& operator=(const ksTreeChangeMonitor&) = delete;

    // Called on the first change after a reset (an edit that counts, or
    // setChanged). The callback may reset or destroy the monitor.
    void setChangedCallback(Callback callback);

    // Edits of containers of this exact type (or a type derived from it)
    // that touch only fields in `mask` do not count.
    void addSkipFields(osg::UInt32 typeId, osg::BitVector mask);
    // The same for one container.
    void addSkipFields(const osg::FieldContainerPtr& container, osg::BitVector mask);
    // Edits below a nested reference node (a node with an ExtReference core
    // other than the watched node), and of such a node's children list, do
    // not count: nested content is tracked by its own monitor.
    void setSkipExtReferenceChildren(bool skip);
    // Edits of the watched node's traversal mask (showing and hiding it)
    // do not count.
    void setSkipRootVisibility(bool skip);

    bool isChanged() const { return m_changed; }
    void setChanged();
    // Clears the changed state and starts watching `node`'s subtree afresh
    // (a null node stops watching).
    void resetChanged(const osg::NodePtr& node);

    osg::NodePtr getWatchedNode() const { return m_node; }
    // Changes that counted since the last reset.
    std::size_t getChangeCount() const { return m_changeCount; }

private:
    void onChange(const osg::ChangeEvent& event);
    bool counts(const osg::ChangeEvent& event) const;
    void markChanged();

    bool m_stopAtFirstChange;
    bool m_changed = false;
    bool m_skipExtReferenceChildren = false;
    bool m_skipRootVisibility = false;
    std::size_t m_changeCount = 0;
    osg::NodePtr m_node;
    Callback m_callback;
    std::unordered_map<osg::UInt32, osg::BitVector> m_skipByType;
    std::unordered_map<osg::UInt32, osg::BitVector> m_skipByContainer;
    osg::ChangeSubscription m_subscription;
};
