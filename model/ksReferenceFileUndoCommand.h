// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "references/ksReferenceTypes.h"
#include "scenegraph/HandleTypes.h"
#include "undo/ksUndoCommand.h"

#include <functional>
#include <memory>

class ksSmartFile;

// One undo step that sets the source or the smart record of a reference
// node's ExtReference core (null removes it). The node is kept by id, so a
// step whose node was deleted meanwhile does nothing either way. Removing a
// smart record also takes the core's loaded smart file out of the pool, and
// undo gives it back, so the content that was loaded comes back with the
// record.
class ksReferenceFileUndoCommand : public ksUndoCommand
{
public:
    ksReferenceFileUndoCommand(const osg::NodePtr& node, const ksReferenceTypes::Type& type,
                               const osg::FileReferencePtr& newFile, QUndoCommand* parent = nullptr);
    ~ksReferenceFileUndoCommand() override;

    void undo() override;
    void redo() override;
    // One id for the class, so the stack can tell its steps apart from
    // others'; the steps still never merge (the base's mergeWith).
    int id() const override;
    bool isSelectionOnly() const override;

    // Runs after every change of the field; set before the step is pushed.
    void setChangedCallback(std::function<void()> callback);

private:
    osg::ExtReferencePtr findCore() const;
    void captureOld();
    void apply(const osg::FileReferencePtr& file);

    osg::UInt32 m_nodeId;
    osg::FileReferenceRefPtr m_newFile;
    osg::FileReferenceRefPtr m_oldFile;
    ksReferenceTypes::Type m_type;
    bool m_oldCaptured = false;
    std::function<void()> m_changedCallback;
    std::shared_ptr<ksSmartFile> m_smartFileRecord;
};

// Sets (or, with a null record, removes) a record of the node's reference
// core as one step of the scene's undo stack, run at once. After each change
// the reference service announces that anything may have changed, and the
// views are refreshed.
void setFileReferenceWithUndo(const ksReferenceTypes::Type& type, const osg::NodePtr& node,
                              const osg::FileReferencePtr& file);
