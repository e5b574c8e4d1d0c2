// Licensed under the MIT licence; see LICENSE.
#include "scene/ksScenegraph.h"

#include "nodeutils/ksMaterials.h"
#include "nodeutils/ksNodeUtils.h"
#include "scenegraph/Attachment.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Geometry.h"
#include "scenegraph/Group.h"
#include "scenegraph/Material.h"
#include "scenegraph/MaterialGroup.h"
#include "scenegraph/Name.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeUtils.h"
#include "scenegraph/Traversal.h"
#include "tree/ksTreeService.h"
#include "undo/ksUndoStack.h"

#include <QTimer>

#include <map>
#include <unordered_set>

using namespace osg;

namespace {

// Never destroyed: module code reaches the scene from exit-time destructors.
NodeRefPtr& rootHolder()
{
    static auto* root = new NodeRefPtr();
    return *root;
}

NodeRefPtr makeRoot()
{
    NodeRefPtr root = Node::create();
    root->setCore(Group::create());
    setName(root.get(), "Root");
    return root;
}

void installRoot(NodeRefPtr root)
{
    NodeRefPtr old = std::move(rootHolder());
    rootHolder() = std::move(root);
    NodeUtils::setSceneRoot(rootHolder().get());
    // The old scene may hold undo steps and pool materials; they go first,
    // then the old tree itself.
    ksUndoStack::get(0).clear();
    ksMaterials::clearMaterialPool();
    old = NullFC;
    ksTreeService::notifyScenegraphChanged();
}

template <class T> RefPtr<T> duplicate(const FCPtr<T>& original)
{
    FieldContainerRefPtr copy = original->getType().createContainer();
    for (const FieldDescription* field : original->getType().getFieldDescriptions())
        field->copyValue(*copy, *original);
    return RefPtr<T>::dcast(std::move(copy));
}

NodeCoreRefPtr duplicateCore(const NodeCorePtr& core, bool duplicateMaterials, bool duplicateAttachments)
{
    NodeCoreRefPtr copy = duplicate(core);
    if (const ExtReferencePtr ext = ExtReferencePtr::dcast(copy)) {
        // Two cores must never share a record: the pool maps each record to
        // one core.
        if (ext->getSourceFile())
            ext->setSourceFile(duplicate(ext->getSourceFile()));
        if (ext->getSmartFile())
            ext->setSmartFile(duplicate(ext->getSmartFile()));
    }
    if (duplicateMaterials) {
        if (const GeometryPtr geometry = GeometryPtr::dcast(copy); geometry && geometry->getMaterial())
            geometry->setMaterial(duplicate(geometry->getMaterial()));
        if (const MaterialGroupPtr group = MaterialGroupPtr::dcast(copy); group && group->getMaterial())
            group->setMaterial(duplicate(group->getMaterial()));
    }
    if (duplicateAttachments) {
        const AttachmentMap attachments = copy->getSFAttachments();
        for (const auto& [key, attachment] : attachments)
            copy->addAttachment(duplicate(attachment.get()), UInt16(key & 0xFFFFu));
    }
    // Announced as one edit, so the reference pool sees the new records.
    beginEditCP(copy.get());
    endEditCP(copy.get());
    return copy;
}

} // namespace

ksScenegraph::ksScenegraph(QObject* parent) : QObject(parent) {}

ksScenegraph* ksScenegraph::instance()
{
    static auto* self = new ksScenegraph();
    return self;
}

NodePtr ksScenegraph::getRoot()
{
    if (!rootHolder())
        installRoot(makeRoot());
    return rootHolder().get();
}

void ksScenegraph::newScene()
{
    installRoot(makeRoot());
    emit instance()->sceneReplaced();
}

void ksScenegraph::replaceScene(const NodePtr& content)
{
    NodeRefPtr root = makeRoot();
    if (content) {
        NodeRefPtr hold(content);
        ksNodeUtils::subFromParent(content);
        if (getName(content) == "Root") {
            for (NodeRefPtr& child : content->takeChildren())
                root->addChild(std::move(child));
        } else {
            root->addChild(hold);
        }
    }
    installRoot(std::move(root));
    emit instance()->sceneReplaced();
}

void ksScenegraph::update(bool immediately)
{
    instance()->requestUpdate(immediately);
}

std::uint64_t ksScenegraph::getUpdateRequestCount()
{
    return instance()->m_updateRequests;
}

void ksScenegraph::requestUpdate(bool immediately)
{
    ++m_updateRequests;
    if (immediately) {
        m_updatePending = false;
        emit updated();
        return;
    }
    if (m_updatePending)
        return;
    m_updatePending = true;
    QTimer::singleShot(0, this, [this] {
        if (!m_updatePending)
            return;
        m_updatePending = false;
        emit updated();
    });
}

bool ksScenegraph::deleteNode(const NodePtr& node, bool validatePools)
{
    if (!node || !node->getParent() || node == rootHolder())
        return false;
    {
        const NodePtr parent = node->getParent();
        beginEditCP(parent, Node::ChildrenFieldMask);
        parent->subChild(node);
        endEditCP(parent, Node::ChildrenFieldMask);
    }
    if (validatePools)
        ksNodeUtils::validatePools();
    ksTreeService::notifyScenegraphChanged();
    return true;
}

bool ksScenegraph::convertCore(const NodePtr& node, const std::string& typeName)
{
    const FieldContainerType* type = FieldContainerFactory::the()->findType(typeName);
    if (!node || !type || type->isAbstract() || !type->isDerivedFrom(NodeCore::getClassType()))
        return false;
    const NodeCoreRefPtr old(node->getCore());
    if (old && &old->getType() == type)
        return true;
    NodeCoreRefPtr fresh = NodeCoreRefPtr::dcast(type->createContainer());
    if (!fresh)
        return false;
    if (old) {
        const FieldContainerType* common = type;
        while (common && !old->getType().isDerivedFrom(*common))
            common = common->getParent();
        for (const FieldDescription* field : common->getFieldDescriptions())
            field->copyValue(*fresh, *old);
        beginEditCP(fresh.get(), common->getFieldsMask());
        endEditCP(fresh.get(), common->getFieldsMask());
    }
    const std::vector<NodePtr> users = old ? old->getParents() : std::vector<NodePtr>{node};
    for (const NodePtr& user : users) {
        beginEditCP(user, Node::CoreFieldMask);
        user->setCore(fresh);
        endEditCP(user, Node::CoreFieldMask);
    }
    // A node's kind follows its core (a reference node or not).
    ksTreeService::notifyScenegraphChanged();
    return true;
}

NodePtr ksScenegraph::unshareNode(const NodePtr& node, int behaviour, bool duplicateMaterials,
                                  bool duplicateAttachments)
{
    if (!node)
        return NullFC;
    std::vector<NodePtr> candidates;
    std::unordered_set<UInt32> inside;
    if (behaviour == UnshareSubtree) {
        traverse(node, [&](const NodePtr& n) {
            candidates.push_back(n);
            inside.insert(n.getFieldContainerId());
            return Action::Continue;
        });
    } else {
        candidates.push_back(node);
        inside.insert(node.getFieldContainerId());
    }
    // A core counts as shared when a node outside the set uses it; cores the
    // set's nodes share among themselves stay shared among the copies.
    std::map<NodeCorePtr, NodeCoreRefPtr> copies;
    std::vector<std::pair<NodePtr, NodeCorePtr>> changes;
    for (const NodePtr& n : candidates) {
        const NodeCorePtr core = n->getCore();
        if (!core || core->getNParents() < 2)
            continue;
        bool shared = copies.count(core) != 0;
        for (const NodePtr& user : core->getParents())
            shared = shared || !inside.count(user.getFieldContainerId());
        if (!shared)
            continue;
        auto it = copies.find(core);
        if (it == copies.end())
            it = copies.emplace(core, duplicateCore(core, duplicateMaterials, duplicateAttachments)).first;
        changes.emplace_back(n, it->second.get());
    }
    if (changes.empty())
        return NullFC;
    for (const auto& [n, core] : changes) {
        beginEditCP(n, Node::CoreFieldMask);
        n->setCore(core);
        endEditCP(n, Node::CoreFieldMask);
    }
    ksTreeService::notifyScenegraphChanged();
    return node;
}
