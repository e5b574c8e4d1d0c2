// Licensed under the MIT licence; see LICENSE.
// The interface object's questions about the references of a subtree.
#include "scenegraph/FieldContainerFactory.h"

#include "interface/ksReferenceInterfaceImpl.h"

#include "references/ksReferenceFindFlags.h"
#include "scenegraph/ExtReference.h"
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
