// Licensed under the MIT licence; see LICENSE.
#include "import/ksQorTreeOptimizationJob.h"

#include "import/ksQorHelper.h"
#include "scenegraph/Geometry.h"
#include "scenegraph/Group.h"
#include "scenegraph/Name.h"
#include "scenegraph/Node.h"
#include "scenegraph/NodeUtils.h"
#include "scenegraph/Traversal.h"
#include "utils/ksLog.h"

#include <xxhash.h>

#include <cstring>
#include <unordered_map>

using namespace osg;

namespace {

bool isPlainGroup(const NodePtr& node)
{
    const NodeCorePtr core = node->getCore();
    return core && core->getTypeId() == Group::getClassTypeId();
}

// No attachments other than a name.
bool onlyNamed(const NodePtr& node)
{
    const UInt32 nameKey = AttachmentContainer::attachmentKey(Name::getClassType().getGroupId(), 0);
    for (const auto& entry : node->getSFAttachments())
        if (entry.first != nameKey)
            return false;
    return true;
}

std::vector<NodePtr> postOrder(const NodePtr& root)
{
    std::vector<NodePtr> order;
    traverse(
        root, [](const NodePtr&) { return Action::Continue; },
        [&](const NodePtr& n, Action::ResultE) {
            order.push_back(n);
            return Action::Continue;
        });
    return order;
}

template <class T> bool sameArray(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

std::uint64_t geometryHash(const Geometry& g)
{
    std::uint64_t h = XXH3_64bits(g.getPositions().data(), g.getPositions().size() * sizeof(Vec3f));
    h = XXH3_64bits_withSeed(g.getNormals().data(), g.getNormals().size() * sizeof(Vec3f), h);
    h = XXH3_64bits_withSeed(g.getIndices().data(), g.getIndices().size() * sizeof(UInt32), h);
    return h ^ (std::uint64_t(g.getMaterial().getFieldContainerId()) * 0x9E3779B97F4A7C15ull);
}

bool sameGeometry(const Geometry& a, const Geometry& b)
{
    return a.getMaterial() == b.getMaterial() && getName(GeometryPtr(const_cast<Geometry*>(&a))) == getName(GeometryPtr(const_cast<Geometry*>(&b)))
           && sameArray(a.getPositions(), b.getPositions()) && sameArray(a.getNormals(), b.getNormals())
           && sameArray(a.getIndices(), b.getIndices());
}

} // namespace

ksQorTreeOptimizationJob::ksQorTreeOptimizationJob(const std::string& path, const NodePtr& root,
                                                   const NodePtr& sceneRoot)
    : m_path(path), m_root(root), m_sceneRoot(sceneRoot)
{
}

ksQorTreeOptimizationJob::~ksQorTreeOptimizationJob() = default;

bool ksQorTreeOptimizationJob::process()
{
    if (!m_root) {
        setError("no tree to optimise");
        return false;
    }
    removeEmptyGroups();
    collapseSingleChildGroups();
    shareGeometries();
    ksQorHelper::setConvertedQorTree(m_root.get(), false);
    ksLog::info("Optimised %s: %zu node(s) removed, %zu geometry(s) shared.", m_path.c_str(), m_removedNodes,
                m_sharedGeometries);
    return true;
}

void ksQorTreeOptimizationJob::removeEmptyGroups()
{
    // Post-order: a group that only held empty groups is empty by the time
    // it is looked at.
    for (const NodePtr& n : postOrder(m_root.get())) {
        if (n == m_root || n->getNChildren() > 0 || !isPlainGroup(n) || !onlyNamed(n))
            continue;
        const NodePtr parent = n->getParent();
        beginEditCP(parent, Node::ChildrenFieldMask);
        parent->subChild(n);
        endEditCP(parent, Node::ChildrenFieldMask);
        ++m_removedNodes;
    }
}

void ksQorTreeOptimizationJob::collapseSingleChildGroups()
{
    for (const NodePtr& n : postOrder(m_root.get())) {
        if (n == m_root || n->getNChildren() != 1 || !isPlainGroup(n) || !n->getSFAttachments().empty())
            continue;
        const NodePtr parent = n->getParent();
        const NodeRefPtr hold(n);
        const NodeRefPtr child(n->getChild(0));
        beginEditCP(parent, Node::ChildrenFieldMask);
        parent->replaceChildBy(n, child);
        endEditCP(parent, Node::ChildrenFieldMask);
        ++m_removedNodes;
    }
}

void ksQorTreeOptimizationJob::shareGeometries()
{
    std::unordered_map<std::uint64_t, std::vector<GeometryPtr>> known;
    auto canonicalOf = [&](const GeometryPtr& g) -> GeometryPtr {
        auto& bucket = known[geometryHash(*g)];
        for (const GeometryPtr& other : bucket)
            if (other == g || sameGeometry(*other, *g))
                return other;
        bucket.push_back(g);
        return g;
    };
    if (m_sceneRoot && !NodeUtils::isAncestorOrSelf(m_sceneRoot, m_root.get())) {
        traverse(m_sceneRoot, [&](const NodePtr& n) {
            if (const GeometryPtr g = GeometryPtr::dcast(n->getCore()))
                canonicalOf(g);
            return Action::Continue;
        });
    }
    traverse(m_root.get(), [&](const NodePtr& n) {
        const GeometryPtr g = GeometryPtr::dcast(n->getCore());
        if (!g)
            return Action::Continue;
        const GeometryPtr canonical = canonicalOf(g);
        if (canonical != g) {
            beginEditCP(n, Node::CoreFieldMask);
            n->setCore(canonical);
            endEditCP(n, Node::CoreFieldMask);
            ++m_sharedGeometries;
        }
        return Action::Continue;
    });
}
