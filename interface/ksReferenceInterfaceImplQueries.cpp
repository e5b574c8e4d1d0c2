// Licensed under the MIT licence; see LICENSE.
// The interface object's questions about the references of a subtree.
#include "interface/ksReferenceInterfaceImpl.h"

#include "model/ksReferenceNode.h"
#include "model/ksReferencePool.h"
#include "references/ksReferenceFindFlags.h"
#include "references/ksReferenceUpdateFlags.h"
#include "scenegraph/ExtReference.h"
#include "scenegraph/FieldContainerFactory.h"
#include "scenegraph/FileReference.h"
#include "scenegraph/Node.h"
#include "scenegraph/Traversal.h"

using namespace osg;

namespace {

// The search filters, shared by both directions of the search.
bool passesSmartFilter(const ExtReferencePtr& core, unsigned int flags)
{
    if (core->getSmartFile())
        return !(flags & ksReferenceFindFlags::FindNonSmartOnly);
    return !(flags & ksReferenceFindFlags::FindSmartOnly);
}

ExtReferencePtr referenceCoreOf(const NodePtr& node)
{
    return node ? ExtReferencePtr::dcast(node->getCore()) : ExtReferencePtr();
}

} // namespace

std::vector<NodePtr> ksReferenceInterfaceImpl::findExtReferences(const NodePtr& node, unsigned int flags) const
{
    std::vector<NodePtr> hits;
    if (!node)
        return hits;
    traverse(node, [&](const NodePtr& n) {
        if (!n)
            return Action::Skip;
        if (n == node && (flags & ksReferenceFindFlags::FindExcludeStart))
            return Action::Continue;
        const ExtReferencePtr core = referenceCoreOf(n);
        if (!core || !passesSmartFilter(core, flags))
            return Action::Continue;
        const FileReferencePtr smart = core->getSmartFile();
        if (smart && (flags & ksReferenceFindFlags::FindSkipNoPathSmart) && smart->getState() == ksReferenceTypes::NoPath)
            return Action::Continue;
        hits.push_back(n);
        return (flags & ksReferenceFindFlags::FindFirstOnly) ? Action::Skip : Action::Continue;
    });
    return hits;
}

std::vector<NodePtr> ksReferenceInterfaceImpl::findParentExtReferences(const NodePtr& node, unsigned int flags)
{
    std::vector<NodePtr> hits;
    if (!node)
        return hits;
    NodePtr n = (flags & ksReferenceFindFlags::FindExcludeStart) ? node->getParent() : node;
    // References that fail the filter do not end the walk: the next one up
    // may still be a hit.
    for (; n; n = n->getParent()) {
        const ExtReferencePtr core = referenceCoreOf(n);
        if (!core || !passesSmartFilter(core, flags))
            continue;
        hits.push_back(n);
        if (flags & ksReferenceFindFlags::FindFirstOnly)
            break;
    }
    return hits;
}

void ksReferenceInterfaceImpl::collectSmartFiles(const NodePtr& node, std::set<FileReferencePtr>& out)
{
    if (!node)
        return;
    // The count is read afresh after each child: an override reached
    // through the virtual table may change the tree while it collects.
    for (UInt32 i = 0; i < node->getNChildren(); ++i)
        collectSmartFiles(node->getChild(i), out);
    const ExtReferencePtr core = getExtReference(node);
    if (core && core->getSmartFile())
        out.insert(core->getSmartFile());
}

void ksReferenceInterfaceImpl::updateReferences(const NodePtr& node, unsigned int flags, bool onlyThisNode)
{
    if (!node)
        return;
    const auto enter = [&](const NodePtr& n) {
        return (onlyThisNode && n == node) ? Action::Skip : Action::Continue;
    };
    // Children before their parents: a parent's steps see its references
    // below already brought up to date.
    const auto leave = [&](const NodePtr& n, Action::ResultE) {
        ksReferenceNode reference(n);
        if (!reference.isValid())
            return Action::Continue;
        // Noted before any step changes the node.
        const bool hasChildren = n->getNChildren() != 0;
        const UInt32 state = reference.getState();

        if (flags & ksReferenceUpdateFlags::RenewSmartFile) {
            // Two undo steps: the old record goes, a new one without path
            // takes its place (or is given to a core that had none).
            reference.removeSmartReference();
            reference.getOrCreateSmartFile(QString());
        }
        if (flags & ksReferenceUpdateFlags::UpdateSmartFileInfo)
            reference.updateSmartFileInfo();
        if (flags & ksReferenceUpdateFlags::UpdateSourceFileInfo)
            reference.updateSourceFileInfo();
        if ((flags & ksReferenceUpdateFlags::DecideLoadState) && state == ksReferenceTypes::Undefined)
            reference.setState(hasChildren ? ksReferenceTypes::Loaded : ksReferenceTypes::NotLoaded);
        if (flags & ksReferenceUpdateFlags::ResetChanged)
            reference.resetChanged();
        if (flags & ksReferenceUpdateFlags::UpdateFileStates)
            reference.updateFileStates();
        return Action::Continue;
    };
    traverse(node, enter, leave);
}

void ksReferenceInterfaceImpl::resetChanged(const NodePtr& node)
{
    if (!node)
        return;
    ksReferencePool& pool = ksReferencePool::instance();
    traverse(node, [&](const NodePtr& n) {
        // The pool only acts on loaded cores whose smart record is not missing.
        if (const ExtReferencePtr core = referenceCoreOf(n))
            pool.resetChanged(core);
        return Action::Continue;
    });
}

bool ksReferenceInterfaceImpl::isChanged(const NodePtr& node)
{
    if (!isExtReference(node))
        return false;
    return ksReferenceNode(node).isChanged();
}

int ksReferenceInterfaceImpl::getChangedSmartReferencesCount()
{
    return int(ksReferencePool::instance().getNumChangedReferences());
}

int ksReferenceInterfaceImpl::getMissingSmartReferencesCount(const NodePtr& node)
{
    // Until the pool tracks references, no record counts as missing.
    if (!node || ksReferencePool::instance().isEmpty())
        return 0;
    int missing = 0;
    traverse(node, [&](const NodePtr& n) {
        if (!n)
            return Action::Skip;
        const ExtReferencePtr core = referenceCoreOf(n);
        const FileReferencePtr smart = core ? core->getSmartFile() : FileReferencePtr();
        if (smart && smart->getState() == ksReferenceTypes::Missing)
            ++missing;
        // References below a missing one count too.
        return Action::Continue;
    });
    return missing;
}
