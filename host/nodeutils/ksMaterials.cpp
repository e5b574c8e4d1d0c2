// Licensed under the MIT licence; see LICENSE.
#include "nodeutils/ksMaterials.h"

#include "scenegraph/Geometry.h"
#include "scenegraph/Material.h"
#include "scenegraph/MaterialGroup.h"
#include "scenegraph/MemorySink.h"
#include "scenegraph/Name.h"
#include "scenegraph/Node.h"
#include "scenegraph/Traversal.h"
#include "scenegraph/UBRDFMaterial.h"

#include <map>

using namespace osg;

namespace {

// Never destroyed: modules reach the pool from exit-time code.
std::map<MaterialPtr, MaterialRefPtr>& pool()
{
    static auto* materials = new std::map<MaterialPtr, MaterialRefPtr>();
    return *materials;
}

void collect(const NodePtr& node, ksMaterials::MaterialSet& materials)
{
    const NodeCorePtr core = node->getCore();
    if (const GeometryPtr geometry = GeometryPtr::dcast(core)) {
        if (geometry->getMaterial())
            materials.insert(geometry->getMaterial());
    } else if (const MaterialGroupPtr group = MaterialGroupPtr::dcast(core)) {
        if (group->getMaterial())
            materials.insert(group->getMaterial());
    }
}

} // namespace

ksMaterials::MaterialSet ksMaterials::getMaterialPoolMaterials()
{
    MaterialSet out;
    for (const auto& entry : pool())
        out.insert(out.end(), entry.first);
    return out;
}

bool ksMaterials::isInMaterialPool(const MaterialPtr& material)
{
    return pool().count(material) != 0;
}

void ksMaterials::addToMaterialPool(const MaterialPtr& material)
{
    if (material)
        pool().emplace(material, MaterialRefPtr(material));
}

void ksMaterials::removeFromMaterialPool(const MaterialPtr& material)
{
    pool().erase(material);
}

void ksMaterials::clearMaterialPool()
{
    // Moved out first: releasing a material may run code that asks the pool.
    std::map<MaterialPtr, MaterialRefPtr> old;
    old.swap(pool());
}

void ksMaterials::addTreeMaterialsToPool(const NodePtr& node)
{
    MaterialSet materials;
    getMaterialsAndOverrideMaterials(node, materials, true);
    for (MaterialPtr material : materials) {
        // Environment chains never close (the scene graph refuses cycles).
        while (material) {
            addToMaterialPool(material);
            const UBRDFMaterialPtr brdf = UBRDFMaterialPtr::dcast(material);
            material = brdf ? brdf->getEnvironment() : MaterialPtr();
        }
    }
}

std::size_t ksMaterials::validateMaterialPool()
{
    // Releasing a material can leave its environment unused in turn.
    std::size_t dropped = 0;
    for (bool again = true; again;) {
        std::vector<MaterialRefPtr> unused;
        for (auto it = pool().begin(); it != pool().end();) {
            if (it->second->getUsers().empty()) {
                unused.push_back(std::move(it->second));
                it = pool().erase(it);
            } else {
                ++it;
            }
        }
        dropped += unused.size();
        again = !unused.empty();
    }
    return dropped;
}

void ksMaterials::updateMaterialPool(const NodePtr& root)
{
    addTreeMaterialsToPool(root);
    validateMaterialPool();
}

void ksMaterials::getMaterialsAndOverrideMaterials(const NodePtr& node, MaterialSet& materials, bool recursive)
{
    if (!node)
        return;
    if (!recursive) {
        collect(node, materials);
        return;
    }
    traverse(node, [&](const NodePtr& n) {
        collect(n, materials);
        return Action::Continue;
    });
}

bool ksMaterials::isEqual(const MaterialPtr& a, const MaterialPtr& b)
{
    if (!a || !b)
        return a == b;
    if (a == b)
        return true;
    if (&a->getType() != &b->getType() || getName(a) != getName(b))
        return false;
    for (const FieldDescription* field : a->getType().getFieldDescriptions()) {
        if (field->getFieldId() == Material::AttachmentsFieldId)
            continue; // the name was compared above; other attachments are the host's business
        if (field->isReference()) {
            std::vector<FieldReference> ra, rb;
            field->getReferences(*a, ra);
            field->getReferences(*b, rb);
            if (ra.size() != rb.size())
                return false;
            for (std::size_t i = 0; i < ra.size(); ++i)
                if (ra[i].key != rb[i].key || ra[i].target != rb[i].target)
                    return false;
            continue;
        }
        MemorySink sa, sb;
        field->writeValue(*a, sa);
        field->writeValue(*b, sb);
        if (sa.bytes() != sb.bytes())
            return false;
    }
    return true;
}
