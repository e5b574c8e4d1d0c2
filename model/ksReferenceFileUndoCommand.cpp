// Licensed under the MIT licence; see LICENSE.
#include "model/ksReferenceFileUndoCommand.h"

#include "kernel/ksKernelServiceFactory.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceService.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "undo/ksUndoStack.h"

namespace {

ksUndoString undoText(ksReferenceTypes::Type type)
{
    return type == ksReferenceTypes::Smart ? ksUndoString("Set File Reference", "SmartField")
                                           : ksUndoString("Set File Reference", "SourceField");
}

} // namespace

ksReferenceFileUndoCommand::ksReferenceFileUndoCommand(const osg::NodePtr& node, const ksReferenceTypes::Type& type,
                                                       const osg::FileReferencePtr& newFile, QUndoCommand* parent)
    : ksUndoCommand(undoText(type), parent)
    , m_nodeId(node.getFieldContainerId())
    , m_newFile(newFile)
    , m_type(type)
{
}

ksReferenceFileUndoCommand::~ksReferenceFileUndoCommand() = default;

void ksReferenceFileUndoCommand::setChangedCallback(std::function<void()> callback)
{
    m_changedCallback = std::move(callback);
}

int ksReferenceFileUndoCommand::id() const
{
    static const int classId = ksUndoCommand::makeId(typeid(ksReferenceFileUndoCommand));
    return classId;
}

bool ksReferenceFileUndoCommand::isSelectionOnly() const
{
    return false;
}

void ksReferenceFileUndoCommand::redo()
{
    captureOld();
    apply(m_newFile.get());
}

void ksReferenceFileUndoCommand::undo()
{
    apply(m_oldFile.get());
}

osg::ExtReferencePtr ksReferenceFileUndoCommand::findCore() const
{
    // By id: the node may have been deleted since the step was recorded.
    const osg::NodePtr node = osg::NodePtr::dcast(osg::FieldContainerFactory::the()->getContainer(m_nodeId));
    if (!node)
        return osg::NullFC;
    return osg::ExtReferencePtr::dcast(node->getCore());
}

void ksReferenceFileUndoCommand::captureOld()
{
    if (m_oldCaptured)
        return;
    // Captured once: a later redo must restore what the first one replaced,
    // not whatever the field holds by then.
    m_oldCaptured = true;
    const osg::ExtReferencePtr core = findCore();
    if (!core)
        return;
    m_oldFile = m_type == ksReferenceTypes::Smart ? core->getSmartFile() : core->getSourceFile();
}

void ksReferenceFileUndoCommand::apply(const osg::FileReferencePtr& file)
{
    const osg::ExtReferencePtr core = findCore();
    if (!core)
        return;
    const bool smart = m_type == ksReferenceTypes::Smart;
    const osg::BitVector mask = smart ? osg::ExtReference::SmartFileFieldMask : osg::ExtReference::SourceFileFieldMask;
    {
        osg::CPEditor edit(core, mask);
        if (!smart) {
            core->setSourceFile(file);
        } else {
            core->setSmartFile(file);
            ksReferencePool& pool = ksReferencePool::instance();
            if (!file)
                m_smartFileRecord = pool.takeSmartFile(core);
            else if (m_smartFileRecord)
                pool.setSmartFile(core, m_smartFileRecord);
        }
    }
    if (m_changedCallback)
        m_changedCallback();
}

void setFileReferenceWithUndo(const ksReferenceTypes::Type& type, const osg::NodePtr& node,
                              const osg::FileReferencePtr& file)
{
    auto* command = new ksReferenceFileUndoCommand(node, type, file);
    command->setChangedCallback([] {
        if (ksReferenceService* service = ksKernelServiceFactory::the().get<ksReferenceService>())
            emit service->referencesChanged(QList<ksdReferenceNode>());
        ksScenegraph::update(false);
    });
    ksUndoStack::get(0).addOrExecute(command);
}
