// Licensed under the MIT licence; see LICENSE.
// Real models of every common format, from Debian's assimp-testmodels: the
// imported tree holds as many vertices as Assimp reads from the file, and
// keeps them through a save as ".zmb" and a load back.
#include "ImportTestSupport.h"

#include "import/ksMeshImporter.h"
#include "import/ksSceneImporter.h"
#include "scene/ksFastGeometryLoader.h"
#include "scene/ksFileIO.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

using namespace importtest;
using namespace osg;

namespace {

const QString modelRoot = QStringLiteral("/usr/share/assimp/models/");

// Assimp's own count: the vertices of every mesh, once per node that uses it
// (a mesh placed twice is drawn twice).
quint64 assimpVertexCount(const QString& path)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(QFile::encodeName(path).toStdString(), aiProcess_Triangulate);
    if (!scene || !scene->mRootNode)
        return 0;
    quint64 count = 0;
    std::vector<const aiNode*> pending{scene->mRootNode};
    while (!pending.empty()) {
        const aiNode* node = pending.back();
        pending.pop_back();
        for (unsigned int i = 0; i < node->mNumMeshes; ++i)
            count += scene->mMeshes[node->mMeshes[i]]->mNumVertices;
        pending.insert(pending.end(), node->mChildren, node->mChildren + node->mNumChildren);
    }
    return count;
}

struct Model
{
    const char* file;
    bool readable;
};

void PrintTo(const Model& model, std::ostream* out)
{
    *out << model.file;
}

class Corpus : public ::testing::TestWithParam<Model>
{
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(modelRoot))
            GTEST_SKIP() << "assimp-testmodels is not installed";
    }
};

TEST_P(Corpus, VertexCountsMatchAssimpAndSurviveASmartFile)
{
    const QString path = modelRoot + GetParam().file;
    ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    QString error;
    const NodeRefPtr root = ksSceneImporter::loadFile(path, &error);
    if (!GetParam().readable) {
        EXPECT_FALSE(root);
        EXPECT_TRUE(error.startsWith(path + ": ")) << error.toStdString();
        return;
    }
    ASSERT_TRUE(root) << error.toStdString();
    const quint64 expected = assimpVertexCount(path);
    EXPECT_GT(expected, 0u);
    EXPECT_EQ(ksSceneImporter::countVertices(root.get()), expected);

    TempFiles files;
    const QString saved = files.path("model.zmb");
    ASSERT_TRUE(ksFileIO::saveSmartReference(root.get(), saved.toStdString(), {}));
    ksFastGeometryLoader loader;
    loader.setMaterialPoolHandling(ksFastGeometryLoader::KeepOutOfPool);
    const NodeRefPtr loaded = loader.load(saved);
    ASSERT_TRUE(loaded) << loader.getLastError();
    EXPECT_EQ(ksSceneImporter::countVertices(loaded.get()), expected);
    EXPECT_EQ(countIndices(loaded.get()), countIndices(root.get()));
}

const Model models[] = {
    {"OBJ/box.obj", true},
    {"OBJ/spider.obj", true},
    {"OBJ/regr01.obj", true},
    {"STL/Spider_binary.stl", true},
    {"STL/Spider_ascii.stl", true},
    {"STL/triangle_with_two_solids.stl", true},
    {"STL/3DSMaxExport.STL", true},
    {"PLY/cube.ply", true},
    {"PLY/cube_binary.ply", true},
    {"PLY/Wuson.ply", true},
    {"glTF2/BoxTextured-glTF/BoxTextured.gltf", true},
    {"glTF2/textureTransform/TextureTransformTest.gltf", true}, // meshes used twice
    {"glTF/TwoBoxes/TwoBoxes.gltf", true},                      // glTF 1, one mesh used twice
    {"glTF/CesiumMilkTruck/CesiumMilkTruck.gltf", true},
    {"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", true},
    {"glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb", true},
    {"FBX/box.fbx", true},
    {"FBX/cubes_with_names.fbx", true},
    {"FBX/cubes_with_mirroring_and_pivot.fbx", true},
    {"FBX/spider.fbx", true},
    {"FBX/boxWithCompressedCTypeArray.FBX", true},
    {"3DS/fels.3ds", true},
    {"3DS/test1.3ds", true},
    {"3DS/cubes_with_alpha.3DS", true},
    {"Collada/duck.dae", true},
    {"Collada/cube_tristrips.dae", true},
    {"Collada/teapot_instancenodes.DAE", true}, // instanced nodes
    {"Collada/earthCylindrical.DAE", true},
    // Broken on purpose, or without any geometry.
    {"glTF2/RecursiveNodes/RecursiveNodes.gltf", false},
    {"glTF2/MissingBin/BoxTextured.gltf", false},
    {"glTF2/wrongTypes/badArray.gltf", false},
    {"glTF2/IndexOutOfRange/AllIndicesOutOfRange.gltf", false},
    {"FBX/transparentTest.fbx", false},
    {"Collada/cube_UTF16LE.dae", false},
    {"Collada/cameras.dae", false},
    {"STL/triangle_with_empty_solid.stl", false},
    {"OBJ/box_UTF16BE.obj", false},
};

INSTANTIATE_TEST_SUITE_P(Models, Corpus, ::testing::ValuesIn(models));

// Every file of the package with a suffix Assimp claims, broken ones
// included: each gives a tree or a reason naming it, and nothing crashes.
TEST(CorpusSweep, EveryFileGivesATreeOrAReason)
{
    if (!QFileInfo::exists(modelRoot))
        GTEST_SKIP() << "assimp-testmodels is not installed";
    // Claims billions of vertices; Assimp tries to allocate them all.
    const QStringList excluded = {modelRoot + "invalid/OutOfMemory.off"};
    int trees = 0;
    int reasons = 0;
    QDirIterator it(modelRoot, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (excluded.contains(path) || !ksMeshImporter::canImport(path))
            continue;
        QString error;
        const NodeRefPtr root = ksSceneImporter::loadFile(path, &error);
        if (root) {
            EXPECT_TRUE(error.isEmpty()) << path.toStdString();
            ++trees;
        } else {
            EXPECT_TRUE(error.startsWith(path + ": ")) << error.toStdString();
            ++reasons;
        }
    }
    EXPECT_GT(trees, 100);
    EXPECT_GT(reasons, 0);
}

} // namespace
