// Licensed under the MIT licence; see LICENSE.
#include "scene/ksFastGeometryLoader.h"

#include "nodeutils/ksMaterials.h"
#include "scene/ksFileIO.h"
#include "scene/ksZmbReader.h"
#include "scenegraph/FileInfo.h"
#include "scenegraph/FileTransaction.h"
#include "scenegraph/Geometry.h"
#include "scenegraph/MaterialGroup.h"
#include "scenegraph/MemorySink.h"
#include "scenegraph/RegularFile.h"
#include "scenegraph/Name.h"
#include "scenegraph/Node.h"
#include "scenegraph/SceneFileHandler.h"
#include "scenegraph/UBRDFMaterial.h"
#include "scenegraph/UEnvironmentMaterial.h"
#include "utils/ksLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>

using namespace osg;

namespace {

// The tree's materials with their environments, environments before the
// materials that use them, so that merging an environment first lets equal
// materials that used its twins compare equal.
std::vector<MaterialPtr> treeMaterials(const NodePtr& root)
{
    ksMaterials::MaterialSet direct;
    ksMaterials::getMaterialsAndOverrideMaterials(root, direct, true);
    std::map<MaterialPtr, int> depth;
    for (MaterialPtr m : direct) {
        std::vector<MaterialPtr> chain;
        for (; m && !depth.count(m); m = UBRDFMaterialPtr::dcast(m) ? UBRDFMaterialPtr::dcast(m)->getEnvironment()
                                                                     : MaterialPtr())
            chain.push_back(m);
        int d = m ? depth[m] : -1;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            depth[*it] = ++d;
    }
    std::vector<MaterialPtr> out;
    for (const auto& entry : depth)
        out.push_back(entry.first);
    std::stable_sort(out.begin(), out.end(), [&](const MaterialPtr& a, const MaterialPtr& b) { return depth[a] < depth[b]; });
    return out;
}

// Equal materials have equal keys: type, name, every value field, and the
// ids of reference targets.
std::string materialKey(const MaterialPtr& m)
{
    std::string key = m->getTypeName();
    key += '\0';
    key += getName(m);
    for (const FieldDescription* field : m->getType().getFieldDescriptions()) {
        if (field->getFieldId() == Material::AttachmentsFieldId)
            continue;
        key += '\0';
        if (field->isReference()) {
            std::vector<FieldReference> refs;
            field->getReferences(*m, refs);
            for (const FieldReference& r : refs)
                key += std::to_string(r.key) + ":" + std::to_string(r.target ? r.target->getId() : 0) + ",";
            continue;
        }
        MemorySink sink;
        field->writeValue(*m, sink);
        key.append(reinterpret_cast<const char*>(sink.bytes().data()), sink.bytes().size());
    }
    return key;
}

// Points every user of `from` at `to`.
void replaceMaterial(const MaterialPtr& from, const MaterialPtr& to)
{
    const MaterialRefPtr hold(from);
    for (const FieldContainerPtr& user : from->getUsers()) {
        if (const GeometryPtr geometry = GeometryPtr::dcast(user); geometry && geometry->getMaterial() == from) {
            beginEditCP(geometry, Geometry::MaterialFieldMask);
            geometry->setMaterial(to);
            endEditCP(geometry, Geometry::MaterialFieldMask);
        } else if (const MaterialGroupPtr group = MaterialGroupPtr::dcast(user); group && group->getMaterial() == from) {
            beginEditCP(group, MaterialGroup::MaterialFieldMask);
            group->setMaterial(to);
            endEditCP(group, MaterialGroup::MaterialFieldMask);
        } else if (const UBRDFMaterialPtr brdf = UBRDFMaterialPtr::dcast(user); brdf && brdf->getEnvironment() == from) {
            beginEditCP(brdf, UBRDFMaterial::EnvironmentFieldMask);
            brdf->setEnvironment(to);
            endEditCP(brdf, UBRDFMaterial::EnvironmentFieldMask);
        }
    }
}

void mergeMaterials(const NodePtr& root)
{
    std::map<std::string, MaterialPtr> canonical;
    for (const MaterialPtr& m : treeMaterials(root)) {
        const auto [it, fresh] = canonical.emplace(materialKey(m), m);
        if (!fresh)
            replaceMaterial(m, it->second);
    }
}

void reusePoolMaterials(const NodePtr& root)
{
    std::map<std::string, MaterialPtr> pool;
    for (const MaterialPtr& m : ksMaterials::getMaterialPoolMaterials())
        pool.emplace(materialKey(m), m);
    for (const MaterialPtr& m : treeMaterials(root)) {
        const auto it = pool.find(materialKey(m));
        if (it != pool.end() && it->second != m) {
            replaceMaterial(m, it->second);
        } else {
            ksMaterials::addToMaterialPool(m);
            pool.emplace(materialKey(m), m);
        }
    }
}

} // namespace

ksFastGeometryLoader::ksFastGeometryLoader() = default;

ksGeometryLoadResult ksFastGeometryLoader::read(const QString& path) const
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    // A file written by the save in progress reads as it will be once saved.
    const std::string source = FileTransaction::stagedPath(QFile::encodeName(path).toStdString());
    // A file read in one block has nothing to show on the way.
    const ReadProgress progress = [&path](UInt64 read, UInt64 size) {
        if (size > RegularFile::ProgressBlock)
            ksFileIO::setAdvancedProgressPart(double(read) / double(size),
                                              QStringLiteral("%1 %2 of %3 MB read")
                                                  .arg(QFileInfo(path).fileName(),
                                                       QString::number(double(read) / 1e6, 'f', 0),
                                                       QString::number(double(size) / 1e6, 'f', 0)));
    };
    ksGeometryLoadResult result;
    if (suffix == QLatin1String("zmb")) {
        ksZmbReadResult read = ksZmbReader::read(QFile::decodeName(source.c_str()), progress);
        result.root = std::move(read.root);
        if (m_stashLoadedData)
            result.stash = std::move(read.stash);
        result.metadata = std::move(read.metadata);
        result.message = std::move(read.message);
    } else if (suffix == QLatin1String("osb")) {
        SceneReadResult read = SceneFileHandler::readScene(source, progress);
        result.root = std::move(read.node);
        result.message = std::move(read.message);
    } else {
        result.message = "unsupported file type";
    }
    return result;
}

ksGeometryLoadResult ksFastGeometryLoader::load(const std::string& path) const
{
    return load(QString::fromStdString(path));
}

ksGeometryLoadResult ksFastGeometryLoader::load(const QString& path) const
{
    if (m_showProgress)
        ksFileIO::addAdvancedProgress(QStringLiteral("Loading %1").arg(QFileInfo(path).fileName()), 2);
    ksGeometryLoadResult result = read(path);
    if (!result)
        ksLog::error("Unable to load %s: %s", path.toUtf8().constData(), result.message.c_str());
    if (m_showProgress)
        ksFileIO::increaseAdvancedProgress();
    if (const NodeRefPtr& root = result.root) {
        if (m_mergeMaterials)
            mergeMaterials(root.get());
        if (m_materialPoolHandling == AddToPool)
            ksMaterials::addTreeMaterialsToPool(root.get());
        else if (m_materialPoolHandling == ReuseEqualPoolMaterials)
            reusePoolMaterials(root.get());
        if (m_addFileInfo && !root->findAttachment(FileInfo::getClassType().getGroupId())) {
            FileInfoRefPtr info = FileInfo::create();
            info->setPath(path.toStdString());
            beginEditCP(root.get(), Node::AttachmentsFieldMask);
            root->addAttachment(info);
            endEditCP(root.get(), Node::AttachmentsFieldMask);
        }
        if (!m_ignoreEnvironmentUpdates) {
            for (const MaterialPtr& m : treeMaterials(root.get())) {
                if (UEnvironmentMaterialPtr::dcast(m)) {
                    beginEditCP(m);
                    endEditCP(m);
                }
            }
        }
    }
    if (m_showProgress) {
        ksFileIO::increaseAdvancedProgress();
        ksFileIO::removeAdvancedProgress();
    }
    return result;
}
