// Licensed under the MIT licence; see LICENSE.
// The interface object's replacement of per-node file information (kept by
// older scenes) with source references.
#include "interface/ksReferenceInterfaceImpl.h"

#include "nodeutils/ksNodeUtils.h"
#include "references/ksReferenceTypes.h"
#include "scene/ksFileIO.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileInfo.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeCore.h"
#include "scenegraph/Transform3D.h"
#include "scenegraph/Traversal.h"
#include "utils/ksFile.h"

#include <algorithm>
#include <map>
#include <string>

using namespace osg;

namespace {

// A loaded reference core whose source record names `path`.
ExtReferenceRefPtr makeSourceReference(const std::string& path)
{
    FileReferenceRefPtr record = FileReference::create();
    {
        CPEditor edit(record.get(), FileReference::PathFieldMask);
        record->setPath(path);
    }

    ExtReferenceRefPtr core = ExtReference::create();
    const BitVector mask = ExtReference::StateFieldMask | ExtReference::SourceFileFieldMask;
    {
        CPEditor edit(core.get(), mask);
        core->setSourceFile(record);
        core->setState(ksReferenceTypes::Loaded);
    }
    return core;
}

// The new core takes the old one's place in every node: a reference core is
// a transform, so it carries the transform and the attachments over.
void replaceCore(const Transform3DPtr& oldCore, const ExtReferenceRefPtr& newCore)
{
    newCore->syncWith(oldCore, Transform3D::getCombinedTransformAttributesMask());
    {
        CPEditor edit(newCore.get(), ExtReference::AttachmentsFieldMask);
        for (const auto& entry : oldCore->getSFAttachments())
            newCore->addAttachment(entry.second, 0);
    }

    for (const NodePtr& user : oldCore->getParents()) {
        CPEditor edit(user, Node::CoreFieldMask);
        user->setCore(newCore);
    }
}

// Any other core stays; each node using it gets a new reference node above
// it, all of them sharing the one new core. The file information moves up.
void wrapUsers(const NodeCorePtr& oldCore, const ExtReferenceRefPtr& newCore, const std::string& path)
{
    const std::string name = ksFile::getBaseName(path);
    const UInt16 fileInfoGroup = FileInfo::getClassType().getGroupId();
    for (const NodePtr& user : oldCore->getParents()) {
        const NodePtr grandParent = user->getParent();
        if (!grandParent)
            continue;
        const NodeRefPtr wrapper = Node::create();
        ksNodeUtils::setName(wrapper.get(), name, true, NullFC);
        {
            const NodeRefPtr hold(user);
            {
                CPEditor edit(grandParent, Node::ChildrenFieldMask);
                grandParent->replaceChildBy(user, wrapper);
            }

            const BitVector mask = Node::CoreFieldMask | Node::ChildrenFieldMask;
            CPEditor edit(wrapper.get(), mask);
            wrapper->setCore(newCore);
            wrapper->addChild(hold);
        }
        if (const AttachmentPtr info = user->findAttachment(fileInfoGroup, 0)) {
            const AttachmentRefPtr hold(info);
            {
                CPEditor edit(wrapper.get(), Node::AttachmentsFieldMask);
                wrapper->addAttachment(hold, 0);
            }
            CPEditor edit(user, Node::AttachmentsFieldMask);
            user->subAttachment(info, 0);
        }
    }
}

} // namespace

void ksReferenceInterfaceImpl::replaceFileInfosWithReferences(const NodePtr& root)
{
    // One entry per core: nodes sharing a core share its new reference.
    std::map<UInt32, std::string> infos;
    traverse(root, [&](const NodePtr& node) {
        if (!node || !node->getCore() || ExtReferencePtr::dcast(node->getCore()))
            return Action::Continue;
        std::string info = ksNodeUtils::getFileInfo(node);
        if (info.empty())
            return Action::Continue;
        info.erase(std::remove(info.begin(), info.end(), '"'), info.end());
        infos[node->getCore().getFieldContainerId()] = info;
        return Action::Continue;
    });

    for (const auto& [coreId, info] : infos) {
        // Native files are references of their own kind, not sources.
        if (ksFileIO::isNativeSceneFile(info))
            continue;
        const NodeCorePtr core = NodeCorePtr::dcast(FieldContainerFactory::the()->getContainer(coreId));
        if (!core)
            continue;
        const ExtReferenceRefPtr reference = makeSourceReference(info);
        if (const Transform3DPtr transform = Transform3DPtr::dcast(core))
            replaceCore(transform, reference);
        else
            wrapUsers(core, reference, info);
    }
}
