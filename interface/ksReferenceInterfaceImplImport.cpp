// Licensed under the MIT licence; see LICENSE.
// The interface's import conversion: run the importer over a subtree that
// came into the scene, then bring the host's materials up to date.
#include "interface/ksReferenceInterfaceImpl.h"

#include "io/ksReferenceImporter.h"
#include "kernel/ksController.h"
#include "kernel/ksMessage.h"
#include "model/ksReferenceNode.h"
#include "nodeutils/ksMaterials.h"
#include "scenegraph/CPEditor.h"
#include "scenegraph/Material.h"
#include "scenegraph/SceneGraph.h"
#include "scenegraph/UEnvironmentMaterial.h"

#include <algorithm>
#include <iterator>

using namespace osg;

void ksReferenceInterfaceImpl::importReferences(const NodePtr& root, const ksReferenceImportOptions& options)
{
    if (!root)
        return;
    const ksMaterials::MaterialSet before = ksMaterials::getMaterialPoolMaterials();
    {
        ksReferenceImporter importer(root, options);
        importer.run();
    }
    const ksMaterials::MaterialSet after = ksMaterials::getMaterialPoolMaterials();
    ksMaterials::MaterialSet added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::inserter(added, added.end()));

    if (!added.empty()) {
        ksMessage message;
        ksController::call("updateMaterials", message, nullptr);
    }
    ksReferenceNode::log(QString("Imported %1 new material(s).").arg(added.size()), ksReferenceNode::LogInfo);

    int environments = 0;
    for (const MaterialPtr& material : added) {
        if (!UEnvironmentMaterialPtr::dcast(material))
            continue;
        // An empty edit makes the host evaluate the environment again.
        { CPEditor edit(material, FieldBits::AllFields); }
        ++environments;
    }
    ksReferenceNode::log(QString("Updated %1 environment material(s).").arg(environments), ksReferenceNode::LogInfo);
}
