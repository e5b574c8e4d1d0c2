// Licensed under the MIT licence; see LICENSE.
#include "import/ksMeshImporter.h"

#include "import/ksMeshHeaderCheck.h"
#include "import/ksObjTriangleReader.h"
#include "nodeutils/ksNodeUtils.h"
#include "scenegraph/RegularFile.h"
#include "scenegraph/SceneGraph.h"

#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace osg;

namespace {

// Triangulation gives every face three corners, which is all a Geometry
// draws. Validation rejects inconsistent files (indices out of range, broken
// node links) before anything is converted, rather than trusting them.
// Joining identical vertices, generating normals and the like are left out on
// purpose: they cost time on big CAD files and change the vertex counts that
// users compare with the source application.
constexpr unsigned int PostProcessFlags = aiProcess_Triangulate | aiProcess_ValidateDataStructure;

// The largest OBJ file read whole by the own reader.
constexpr UInt64 OwnObjReaderLimit = UInt64(16) << 20;

Matrix toMatrix(const aiMatrix4x4& m)
{
    // Both keep the translation in the last column.
    Matrix r;
    const ai_real* rows[4] = {&m.a1, &m.b1, &m.c1, &m.d1};
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            r(row, col) = Real32(rows[row][col]);
    return r;
}

// Splits the matrix into the parts a Transform3D edits (translation,
// rotation about X then Y then Z, scale), so that a user moving the part
// later starts from the file's placement. The exact matrix is kept as well:
// a shear, which has no part, survives until the user edits a part.
void setTransform(const Transform3DPtr& core, const aiMatrix4x4& m)
{
    if (m.IsIdentity())
        return;
    double axes[3][3];
    double scale[3];
    for (int col = 0; col < 3; ++col) {
        const double x = m[0][col], y = m[1][col], z = m[2][col];
        scale[col] = std::sqrt(x * x + y * y + z * z);
        const double inv = scale[col] > 0 ? 1.0 / scale[col] : 0.0;
        axes[0][col] = x * inv;
        axes[1][col] = y * inv;
        axes[2][col] = z * inv;
    }
    const double det = axes[0][0] * (axes[1][1] * axes[2][2] - axes[1][2] * axes[2][1])
                       - axes[0][1] * (axes[1][0] * axes[2][2] - axes[1][2] * axes[2][0])
                       + axes[0][2] * (axes[1][0] * axes[2][1] - axes[1][1] * axes[2][0]);
    if (det < 0) {
        // A mirror: carried by the X scale, so that the rest is a rotation.
        scale[0] = -scale[0];
        for (int row = 0; row < 3; ++row)
            axes[row][0] = -axes[row][0];
    }
    // axes = Rz * Ry * Rx.
    const double toDegrees = 180.0 / 3.14159265358979323846;
    const double sy = std::max(-1.0, std::min(1.0, -axes[2][0]));
    const double ry = std::asin(sy);
    double rx = 0, rz = 0;
    if (std::abs(sy) < 0.999999) {
        rx = std::atan2(axes[2][1], axes[2][2]);
        rz = std::atan2(axes[1][0], axes[0][0]);
    } else {
        // Gimbal lock: only the sum (or difference) of X and Z is defined.
        rx = std::atan2(-axes[1][2], axes[1][1]);
    }
    core->setTranslation(Vec3f(Real32(m.a4), Real32(m.b4), Real32(m.c4)));
    core->setRotation(Vec3f(Real32(rx * toDegrees), Real32(ry * toDegrees), Real32(rz * toDegrees)));
    core->setScale(Vec3f(Real32(scale[0]), Real32(scale[1]), Real32(scale[2])));
    core->setMatrix(toMatrix(m));
}

GeometryRefPtr makeGeometry(const aiMesh& mesh)
{
    GeometryRefPtr geometry = Geometry::create();
    if (!mesh.mVertices)
        return geometry;
    const unsigned int count = mesh.mNumVertices;
    std::vector<Vec3f> positions;
    positions.reserve(count);
    for (unsigned int i = 0; i < count; ++i)
        positions.emplace_back(Real32(mesh.mVertices[i].x), Real32(mesh.mVertices[i].y), Real32(mesh.mVertices[i].z));
    std::vector<Vec3f> normals;
    if (mesh.mNormals) {
        normals.reserve(count);
        for (unsigned int i = 0; i < count; ++i)
            normals.emplace_back(Real32(mesh.mNormals[i].x), Real32(mesh.mNormals[i].y), Real32(mesh.mNormals[i].z));
    }
    std::vector<UInt32> indices;
    indices.reserve(std::size_t(mesh.mNumFaces) * 3);
    for (unsigned int f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        // Points and lines have no surface to draw.
        if (face.mNumIndices != 3 || !face.mIndices)
            continue;
        if (face.mIndices[0] >= count || face.mIndices[1] >= count || face.mIndices[2] >= count)
            continue;
        indices.insert(indices.end(), {face.mIndices[0], face.mIndices[1], face.mIndices[2]});
    }
    geometry->setPositions(std::move(positions));
    geometry->setNormals(std::move(normals));
    geometry->setIndices(std::move(indices));
    return geometry;
}

std::string nameOf(const aiString& name)
{
    return std::string(name.C_Str(), name.length);
}

// Builds the tree below `root` from the scene's nodes, one mesh node per mesh
// use. Iterative, so that deep hierarchies cannot exhaust the stack.
void convertNodes(const aiScene& scene, const NodePtr& root)
{
    std::unordered_map<unsigned int, GeometryRefPtr> geometries;
    std::vector<std::pair<const aiNode*, NodePtr>> pending{{scene.mRootNode, root}};
    while (!pending.empty()) {
        const auto [source, parent] = pending.back();
        pending.pop_back();

        Transform3DRefPtr transform = Transform3D::create();
        setTransform(transform.get(), source->mTransformation);
        const std::string name = nameOf(source->mName);
        NodeRefPtr node = ksNodeUtils::createNode(transform, name);
        parent->addChild(node);

        for (unsigned int i = 0; i < source->mNumMeshes; ++i) {
            const unsigned int index = source->mMeshes[i];
            if (index >= scene.mNumMeshes || !scene.mMeshes[index])
                continue;
            const aiMesh& mesh = *scene.mMeshes[index];
            GeometryRefPtr& geometry = geometries[index];
            if (!geometry)
                geometry = makeGeometry(mesh);
            const std::string meshName = nameOf(mesh.mName);
            node->addChild(ksNodeUtils::createNode(geometry, meshName.empty() ? name : meshName));
        }
        // Pushed in reverse, so that children keep the file's order.
        for (unsigned int i = source->mNumChildren; i > 0; --i) {
            if (const aiNode* child = source->mChildren[i - 1])
                pending.emplace_back(child, node.get());
        }
    }
}

// Whether any node draws a mesh: a file may list meshes that no node uses,
// and would then give an empty tree.
bool placesMeshes(const aiNode* root)
{
    std::vector<const aiNode*> pending{root};
    while (!pending.empty()) {
        const aiNode* node = pending.back();
        pending.pop_back();
        if (node->mNumMeshes > 0)
            return true;
        pending.insert(pending.end(), node->mChildren, node->mChildren + node->mNumChildren);
    }
    return false;
}

// Passes Assimp's progress on. Assimp counts reading and post-processing
// from 0 to 1 in each of our two calls (read with validation, then
// triangulation), so only rises are passed, and 1 waits for the built tree.
class ProgressForward : public Assimp::ProgressHandler
{
public:
    explicit ProgressForward(const ksMeshImporter::Progress& progress) : m_progress(progress) {}

    bool Update(float percentage) override
    {
        if (percentage > m_last && percentage < 1.0f) {
            m_last = percentage;
            m_progress(double(percentage));
        }
        return true;
    }

private:
    const ksMeshImporter::Progress& m_progress;
    float m_last = -1.0f;
};

void fail(QString* error, const QString& path, const QString& reason)
{
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, reason);
}

} // namespace

const char* ksMeshImporter::rootName()
{
    return "ExtReference";
}

bool ksMeshImporter::canImport(const QString& path)
{
    // An Assimp::Importer sets up every reader it has; asked once.
    static const QSet<QString> suffixes = [] {
        const QStringList list = supportedSuffixes();
        return QSet<QString>(list.begin(), list.end());
    }();
    const QString suffix = QFileInfo(path).suffix().toLower();
    return !suffix.isEmpty() && suffixes.contains(suffix);
}

QStringList ksMeshImporter::supportedSuffixes()
{
    Assimp::Importer importer;
    std::string list;
    importer.GetExtensionList(list);
    // "*.3ds;*.obj;..."
    QStringList suffixes;
    for (QString entry : QString::fromStdString(list).split(';', Qt::SkipEmptyParts)) {
        entry = entry.trimmed().toLower();
        if (entry.startsWith("*."))
            entry.remove(0, 2);
        if (!entry.isEmpty() && !suffixes.contains(entry))
            suffixes.append(entry);
    }
    return suffixes;
}

NodeRefPtr ksMeshImporter::read(const QString& path, QString* error, const Progress& progress)
{
    return read(path, error, progress, true);
}

NodeRefPtr ksMeshImporter::readThroughAssimp(const QString& path, QString* error, const Progress& progress)
{
    return read(path, error, progress, false);
}

NodeRefPtr ksMeshImporter::read(const QString& path, QString* error, const Progress& progress, bool ownReaders)
{
    if (error)
        error->clear();
    if (path.isEmpty()) {
        fail(error, path, QStringLiteral("no file given"));
        return NullFC;
    }
    const QFileInfo info(path);
    if (!info.exists()) {
        fail(error, path, QStringLiteral("file not found"));
        return NullFC;
    }
    if (info.isDir()) {
        fail(error, path, QStringLiteral("is a directory"));
        return NullFC;
    }
    if (!canImport(path)) {
        fail(error, path, QStringLiteral("unsupported file type \"%1\"").arg(info.suffix()));
        return NullFC;
    }
    if (!info.isReadable()) {
        fail(error, path, QStringLiteral("file cannot be read"));
        return NullFC;
    }
    if (info.size() == 0) {
        fail(error, path, QStringLiteral("file is empty"));
        return NullFC;
    }
    {
        // Assimp would block on a FIFO and trust the counts of a header.
        RegularFile file;
        if (!file.open(QFile::encodeName(path).toStdString())) {
            fail(error, path, QString::fromStdString(file.getError()));
            return NullFC;
        }
        char head[ksMeshHeaderCheck::HeadSize];
        const long n = file.readSome(head, sizeof head);
        const QString problem =
            ksMeshHeaderCheck::check(info.suffix().toLower(), head, std::size_t(std::max(n, 0L)), file.size());
        if (!problem.isEmpty()) {
            fail(error, path, problem);
            return NullFC;
        }
        // Larger files are Assimp's: it reads them in blocks and tells how far it is.
        if (ownReaders && info.suffix().compare(QLatin1String("obj"), Qt::CaseInsensitive) == 0
            && file.size() <= OwnObjReaderLimit) {
            try {
                std::string content(std::size_t(file.size()), '\0');
                if (file.seek(0) && file.read(content.data(), content.size())) {
                    NodeRefPtr tree = ksObjTriangleReader::read(content.data(), content.size(),
                                                                QFile::encodeName(info.fileName()).toStdString());
                    if (tree) {
                        NodeRefPtr root = ksNodeUtils::createNode(Transform3D::create(), rootName());
                        root->addChild(tree);
                        if (progress)
                            progress(1.0);
                        return root;
                    }
                }
            } catch (const std::bad_alloc&) {
                // Assimp reads it in blocks.
            }
        }
    }

    try {
        Assimp::Importer importer;
        // Skeletons without meshes would otherwise come back as made-up bone
        // geometry.
        importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
        // FBX pivots kept as extra nodes only clutter the tree.
        importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
        // The importer owns (and deletes) its handler.
        if (progress)
            importer.SetProgressHandler(new ProgressForward(progress));
        // Validation on its own first: triangulation trusts the faces, and
        // Debian's Assimp aborts the process on a face without indices.
        const aiScene* scene = importer.ReadFile(QFile::encodeName(path).toStdString(), aiProcess_ValidateDataStructure);
        if (scene)
            scene = importer.ApplyPostProcessing(PostProcessFlags);
        if (!scene) {
            const QString reason = QString::fromStdString(importer.GetErrorString()).trimmed();
            fail(error, path, reason.isEmpty() ? QStringLiteral("the file could not be read") : reason);
            return NullFC;
        }
        if (!scene->mRootNode || !placesMeshes(scene->mRootNode) || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
            fail(error, path, QStringLiteral("the file holds no geometry"));
            return NullFC;
        }
        NodeRefPtr root = ksNodeUtils::createNode(Transform3D::create(), rootName());
        convertNodes(*scene, root.get());
        if (progress)
            progress(1.0);
        return root;
    } catch (const std::bad_alloc&) {
        fail(error, path, QStringLiteral("out of memory"));
    } catch (const std::exception& e) {
        fail(error, path, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        fail(error, path, QStringLiteral("the file could not be read"));
    }
    return NullFC;
}
