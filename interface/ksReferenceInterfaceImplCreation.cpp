// Licensed under the MIT licence; see LICENSE.
// The interface object's operations that save smart references, turn an
// imported node into a source reference, and bring the nodes that show one
// smart file in step with each other.
#include "interface/ksReferenceInterfaceImpl.h"

#include "io/ksReferenceExporter.h"
#include "model/ksReferencePool.h"
#include "model/ksReferenceSettings.h"
#include "model/ksSmartPathIndex.h"
#include "nodeutils/ksNodeUtils.h"
#include "nodeutils/ksOpenSGUtils.h"
#include "references/ksReferenceFindFlags.h"
#include "references/ksReferenceUpdateFlags.h"
#include "scene/ksFileIO.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileInfo.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/Transform3D.h"
#include "utils/ksFile.h"
#include "utils/ksLog.h"

#include <QHash>

#include <ctime>
#include <list>
#include <set>

using namespace osg;

bool ksReferenceInterfaceImpl::saveSmartReferences(const NodePtr& node, const char* projectPath)
{
    if (!node)
        return false;
    const ksReferenceSettings& settings = ksReferenceSettings::the();
    ksReferenceExporter::Options options;
    options.exportLocation = settings.getExportLocation();
    options.customExportPath = settings.getCustomExportPath().toUtf8().toStdString();
    options.projectPath = projectPath ? projectPath : "";

    ksReferenceExporter exporter(node, options);
    if (exporter.hasCyclicPaths()) {
        ksLog::error("Unable to save smart reference. Cyclic paths detected.");
        return false;
    }
    exporter.run();
    // Each failed file was logged with its reason; a project saved now
    // would record content that its files do not hold.
    return exporter.getFailedSaves() == 0;
}

NodeRefPtr ksReferenceInterfaceImpl::createImportedSourceReference(std::string path, NodePtr node)
{
    if (!ksFileIO::getImportCreateReferences()) {
        if (node)
            return NodeRefPtr(node);
        NodeRefPtr created = Node::create();
        {
            CPEditor edit(created, Node::CoreFieldMask);
            created->setCore(Transform3D::create());
        }
        return created;
    }
    if (node && ExtReferencePtr::dcast(node->getCore()))
        return NodeRefPtr(node);

    FileReferenceRefPtr source = FileReference::create();
    {
        CPEditor edit(source, FileReference::PathFieldMask);
        source->setPath(path);
        source->setImportDate(UInt64(std::time(nullptr)));
    }

    ExtReferenceRefPtr core = ExtReference::create();
    {
        CPEditor edit(core, ExtReference::StateFieldMask | ExtReference::SourceFileFieldMask);
        core->setSourceFile(source);
        core->setState(ksReferenceTypes::Loaded);
    }

    const std::string baseName = ksFile::getBaseName(path);

    // A transform node becomes the reference node itself, keeping its place
    // in the tree and its transform.
    if (node) {
        if (const Transform3DPtr old = Transform3DPtr::dcast(node->getCore())) {
            core->syncWith(old, Transform3D::getCombinedTransformAttributesMask());
            {
                CPEditor edit(node, Node::CoreFieldMask);
                node->setCore(core);
            }
            // "ExtReference" is the name importers give a node they could
            // not name better.
            if (ksNodeUtils::getName(node) == "ExtReference")
                ksNodeUtils::setName(node, baseName, true, NullFC);
            updateReferences(node, ksReferenceUpdateFlags::UpdateSourceFileInfo, false);
            return NodeRefPtr(node);
        }
    }

    NodeRefPtr created = Node::create();
    const NodePtr wrapper = created.get();
    {
        CPEditor edit(wrapper, Node::CoreFieldMask);
        wrapper->setCore(core);
    }
    ksNodeUtils::setName(wrapper, baseName, true, NullFC);
    updateReferences(wrapper, ksReferenceUpdateFlags::UpdateSourceFileInfo, false);
    if (!node)
        return created;

    // The file information describes the imported file, which the wrapper
    // now stands for.
    if (const AttachmentPtr info = node->findAttachment(FileInfo::getClassType().getGroupId(), 0)) {
        AttachmentRefPtr hold(info);
        {
            CPEditor edit(wrapper, Node::AttachmentsFieldMask);
            wrapper->addAttachment(hold, 0);
        }
        CPEditor edit(node, Node::AttachmentsFieldMask);
        node->subAttachment(info, 0);
    }
    {
        CPEditor edit(wrapper, Node::ChildrenFieldMask);
        wrapper->addChild(node);
    }
    return created;
}

namespace {

// The node that the others of one smart file are made clones of: preferably
// one in the live scene outside the given subtrees, else the last live one,
// else one outside the given subtrees, else the first met.
NodePtr chooseMaster(const std::set<ExtReferencePtr>& cores, const std::set<NodePtr>& all)
{
    const NodePtr root = ksOpenSGUtils::getRoot();
    NodePtr fallback;
    NodePtr candidate;
    bool liveSeen = false;
    for (const ExtReferencePtr& core : cores) {
        if (!core)
            continue;
        for (const NodePtr& n : core->getParents()) {
            if (!n)
                continue;
            if (!fallback)
                fallback = n;
            const bool live = ksNodeUtils::hasParent(n, root);
            const bool inAll = all.count(n) != 0;
            if (live && !inAll)
                return n;
            if (live) {
                candidate = n;
                liveSeen = true;
            } else if (!liveSeen && !inAll) {
                candidate = n;
            }
        }
    }
    return candidate ? candidate : fallback;
}

} // namespace

void ksReferenceInterfaceImpl::syncReferenceClones(const std::vector<NodePtr>& nodes)
{
    std::set<NodePtr> all;
    for (const NodePtr& node : nodes)
        for (const NodePtr& hit : findExtReferences(node, ksReferenceFindFlags::FindFirstOnly))
            all.insert(hit);

    // Nodes of one smart file, each group in container order. Found by key
    // rather than by comparing with every group: isSameSmartReference joins
    // cores whose records name the same file, and a core without a
    // comparable record only with itself.
    std::list<std::set<NodePtr>> groups;
    QHash<QString, std::set<NodePtr>*> byFile;
    QHash<UInt32, std::set<NodePtr>*> byCore;
    for (const NodePtr& hit : all) {
        if (!hit)
            continue;
        const ExtReferencePtr core = getExtReference(hit);
        const FileReferencePtr smart = core ? core->getSmartFile() : FileReferencePtr();
        std::set<NodePtr>*& group = smart && smart->getState() != ksReferenceTypes::NoPath
                                        ? byFile[ksSmartPathIndex::normalise(smart->getPath())]
                                        : byCore[core.getFieldContainerId()];
        if (!group)
            group = &groups.emplace_back();
        group->insert(hit);
    }

    for (const std::set<NodePtr>& group : groups) {
        const ExtReferencePtr first = getExtReference(*group.begin());
        if (!first)
            continue;
        const std::set<ExtReferencePtr> cores = ksReferencePool::instance().getReferencesWithSameSmartFile(first);
        if (cores.empty())
            continue;
        const NodePtr master = chooseMaster(cores, all);
        if (!master)
            continue;
        for (const NodePtr& member : group) {
            if (member == master)
                continue;
            ksNodeUtils::syncCloneTree(master, member);
            updateReferences(member, ksReferenceUpdateFlags::UpdateFileStates, false);
        }
    }

    for (const NodePtr& node : nodes)
        updateReferences(node, ksReferenceUpdateFlags::UpdateSourceFileInfo, false);
}
