// Licensed under the MIT licence; see LICENSE.
// The service's creation and conversion operations: new smart and source
// references, nodes turned into smart references, references made plain.
#include "service/ksReferenceServiceImpl.h"

#include "handles/ksTypeConverter.h"
#include "model/ksReferenceFileUndoCommand.h"
#include "model/ksReferenceNode.h"
#include "nodeutils/ksNodePermission.h"
#include "nodeutils/ksNodeUtils.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/Transform.h"
#include "undo/ksAddChildrenCommand.h"
#include "undo/ksMoveNodesCommand.h"
#include "undo/ksMultiCommand.h"
#include "undo/ksNodeMovements.h"
#include "undo/ksSelectionUndoCommand.h"
#include "undo/ksUndoStack.h"
#include "undo/ksUndoString.h"
#include "utils/ksLog.h"

#include <QFileInfo>

using namespace osg;

void ksReferenceServiceImpl::addReferenceNode(const NodePtr& parent, const NodePtr& node, const char* undoText)
{
    NodePtr target = parent;
    if (!target || !ksNodePermission::allows(target, ksNodePermission::AddChildren))
        target = ksScenegraph::getRoot();
    auto* command = new ksMultiCommand(ksUndoString(undoText, "Reference Commands"));
    new ksAddChildrenCommand(target, node, command);
    new ksSelectionUndoCommand(node, 0, true, command);
    command->setChangedCallback([] { ksScenegraph::update(false); });
    ksUndoStack::get(0).addOrExecute(command);
}

NodeRefPtr ksReferenceServiceImpl::newReferenceNode(const QString& name)
{
    const std::string unique = ksNodeUtils::getUniqueName(name.toUtf8().toStdString());
    NodeRefPtr node = Node::create();
    ExtReferenceRefPtr core = ExtReference::create();
    {
        CPEditor edit(node, Node::CoreFieldMask);
        node->setCore(core);
    }
    ksNodeUtils::setName(node.get(), unique, true, std::string());
    return node;
}

ksdReferenceNode ksReferenceServiceImpl::createSmartReference(const ksdNode& parent)
{
    const NodeRefPtr node = newReferenceNode(tr("SmartReference"));
    addReferenceNode(ksTypeConverter::convertNode(parent), node.get(), QT_TRANSLATE_NOOP("Reference Commands", "Create Smart Reference"));
    // Not part of the undo step: undo takes the whole node away.
    const ExtReferencePtr core = ExtReferencePtr::dcast(node->getCore());
    {
        CPEditor edit(core, ExtReference::SmartFileFieldMask);
        core->setSmartFile(FileReference::create());
    }

    const ksdReferenceNode handle(ksTypeConverter::convertNode(node.get()));
    emit referenceCreated(handle);
    return handle;
}

ksdReferenceNode ksReferenceServiceImpl::createSourceReference(const QString& path, const ksdNode& parent)
{
    if (ksFileIO::isNativeSceneFile(path)) {
        ksLog::error("Creating source reference failed. Talvik project or OSB files are not allowed as a source "
                     "reference.");
        return ksdReferenceNode();
    }
    const NodeRefPtr node = newReferenceNode(QFileInfo(path).baseName());
    addReferenceNode(ksTypeConverter::convertNode(parent), node.get(), QT_TRANSLATE_NOOP("Reference Commands", "Create Source Reference"));

    ksReferenceNode ref(node.get());
    const FileReferencePtr source = ref.getSourceFile(true);
    // Stored as given: neither resolved nor made relative.
    {
        CPEditor edit(source, FileReference::PathFieldMask);
        source->setPath(path.toUtf8().toStdString());
    }
    ksReferenceNode::updateFileInfo(source);
    ref.setState(ksReferenceTypes::NotLoaded);

    const ksdReferenceNode handle(ksTypeConverter::convertNode(node.get()));
    emit referenceCreated(handle);
    return handle;
}

ksdNode ksReferenceServiceImpl::convertToSmart(const ksdNode& node, bool flag)
{
    if (node.isLocked())
        return node;
    ksdReferenceNode reference(node);
    if (!reference.isNull()) {
        // An unloaded reference gets a smart file next to its source only
        // when asked to; a loaded one only an empty one.
        if ((reference.getState() == ksReferenceTypes::NotLoaded) == flag)
            reference.createSmartReference(flag);
        return node;
    }

    const NodePtr n = ksTypeConverter::convertNode(node);
    if (n && TransformPtr::dcast(n->getCore())) {
        if (!ksScenegraph::convertCore(n, "ExtReference"))
            return node;
        const FileReferenceRefPtr record = FileReference::create();
        auto* command = new ksReferenceFileUndoCommand(n, ksReferenceTypes::Smart, record.get());
        command->setChangedCallback([this] {
            emitReferencesChanged();
            ksScenegraph::update(false);
        });
        ksUndoStack::get(0).addOrExecute(command);
        return node;
    }

    const ksdReferenceNode created = createSmartReference(ksdNode());
    const NodePtr referenceNode = ksTypeConverter::convertNode(created);
    auto* command = new ksMultiCommand(ksUndoString(QT_TRANSLATE_NOOP("Reference Service", "Insert Smart Reference"), "Reference Service"));
    ksNodeMovements movements;
    if (n) {
        const NodePtr parent = n->getParent();
        if (parent) {
            const Int32 index = parent->findChild(n);
            const Int32 count = Int32(parent->getNChildren());
            // Index 0 has no child before it: a null `after` puts the
            // reference first.
            if (index < count - 1)
                movements.add(referenceNode, parent, index > 0 ? parent->getChild(UInt32(index - 1)) : NodePtr());
            else
                movements.add(referenceNode, parent);
        }
        movements.add(n, referenceNode);
    }
    new ksMoveNodesCommand(movements, command);
    ksUndoStack::get(0).addOrExecute(command);
    return ksTypeConverter::convertNode(referenceNode);
}

ksdNode ksReferenceServiceImpl::removeReference(const ksdNode& node)
{
    if (node.isLocked())
        return node;
    const NodePtr n = ksTypeConverter::convertNode(node);
    ksReferenceNode ref(n);
    if (ref.isValid())
        ref.removeReference();
    return ksTypeConverter::convertNode(n);
}
