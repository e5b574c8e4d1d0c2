// Licensed under the MIT licence; see LICENSE.
// Record operations of ksReferenceNode: every record that enters or leaves
// a reference core does so as an undo step.
#include "model/ksReferenceNode.h"

#include "model/ksReferenceFileUndoCommand.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"

osg::FileReferencePtr ksReferenceNode::getSourceFile(bool create)
{
    const osg::ExtReferencePtr core = getExtReference();
    if (!core)
        return osg::NullFC;
    if (core->getSourceFile() || !create)
        return core->getSourceFile();
    const osg::FileReferenceRefPtr record = osg::FileReference::create();
    setFileReferenceWithUndo(ksReferenceTypes::Source, getNode(), record);
    return record.get();
}

osg::FileReferencePtr ksReferenceNode::getSmartFile(bool create)
{
    const osg::ExtReferencePtr core = getExtReference();
    if (!core)
        return osg::NullFC;
    if (core->getSmartFile() || !create)
        return core->getSmartFile();
    const osg::FileReferenceRefPtr record = osg::FileReference::create();
    setFileReferenceWithUndo(ksReferenceTypes::Smart, getNode(), record);
    return record.get();
}

osg::FileReferencePtr ksReferenceNode::getOrCreateSmartFile(const QString& path)
{
    const osg::ExtReferencePtr core = getExtReference();
    if (!core)
        return osg::NullFC;
    if (core->getSmartFile())
        return core->getSmartFile();
    const osg::FileReferenceRefPtr record = osg::FileReference::create();
    if (!path.isEmpty()) {
        {
            osg::CPEditor edit(record.get(), osg::FileReference::PathFieldMask);
            record->setPath(path.toStdString());
        }
        updateFileState(record.get());
        updateFileInfo(record.get());
    }
    setFileReferenceWithUndo(ksReferenceTypes::Smart, getNode(), record);
    return record.get();
}

bool ksReferenceNode::removeSourceReference()
{
    const osg::ExtReferencePtr core = getExtReference();
    if (!core || !core->getSourceFile())
        return false;
    setFileReferenceWithUndo(ksReferenceTypes::Source, getNode(), osg::NullFC);
    return true;
}

bool ksReferenceNode::removeSmartReference()
{
    const osg::ExtReferencePtr core = getExtReference();
    if (!core || !core->getSmartFile())
        return false;
    setFileReferenceWithUndo(ksReferenceTypes::Smart, getNode(), osg::NullFC);
    return true;
}
