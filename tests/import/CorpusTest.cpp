// Licensed under the MIT licence; see LICENSE.
// Real models of every common format (Debian's assimp-testmodels): as many
// vertices as Assimp reads, also after a save as ".zmb" and a load back.
#include "ImportTestSupport.h"

#include "import/ksMeshImporter.h"
#include "import/ksSceneImporter.h"
#include "scene/ksFastGeometryLoader.h"
#include "scene/ksFileIO.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QDirIterator>
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

class Corpus : public ::testing::TestWithParam<const char*>
{
};

TEST_P(Corpus, VertexCountsMatchAssimpAndSurviveASmartFile)
{
    if (!QFileInfo::exists(modelRoot))
        GTEST_SKIP() << "assimp-testmodels is not installed";
    const QString path = modelRoot + GetParam();
    QString error;
    const NodeRefPtr root = ksSceneImporter::loadFile(path, &error);
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

// TextureTransformTest and TwoBoxes (glTF 1) use meshes twice;
// teapot_instancenodes has instanced nodes.
INSTANTIATE_TEST_SUITE_P(
    Models, Corpus,
    ::testing::Values("OBJ/box.obj", "OBJ/spider.obj", "OBJ/regr01.obj", "STL/Spider_binary.stl",
                      "STL/Spider_ascii.stl", "STL/triangle_with_two_solids.stl", "STL/3DSMaxExport.STL",
                      "PLY/cube.ply", "PLY/cube_binary.ply", "PLY/Wuson.ply",
                      "glTF2/BoxTextured-glTF/BoxTextured.gltf", "glTF2/textureTransform/TextureTransformTest.gltf",
                      "glTF/TwoBoxes/TwoBoxes.gltf", "glTF/CesiumMilkTruck/CesiumMilkTruck.gltf",
                      "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb",
                      "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb", "FBX/box.fbx",
                      "FBX/cubes_with_names.fbx", "FBX/cubes_with_mirroring_and_pivot.fbx", "FBX/spider.fbx",
                      "FBX/boxWithCompressedCTypeArray.FBX", "3DS/fels.3ds", "3DS/test1.3ds",
                      "3DS/cubes_with_alpha.3DS", "Collada/duck.dae", "Collada/cube_tristrips.dae",
                      "Collada/teapot_instancenodes.DAE", "Collada/earthCylindrical.DAE"));

// Every file with a suffix Assimp claims gives a tree or a reason naming it,
// without a crash; files broken on purpose or without geometry give a reason.
TEST(CorpusSweep, EveryFileGivesATreeOrAReason)
{
    if (!QFileInfo::exists(modelRoot))
        GTEST_SKIP() << "assimp-testmodels is not installed";
    QStringList unreadable = {"glTF2/RecursiveNodes/RecursiveNodes.gltf", "glTF2/MissingBin/BoxTextured.gltf",
                              "glTF2/wrongTypes/badArray.gltf", "glTF2/IndexOutOfRange/AllIndicesOutOfRange.gltf",
                              "FBX/transparentTest.fbx", "Collada/cube_UTF16LE.dae", "Collada/cameras.dae",
                              "STL/triangle_with_empty_solid.stl", "OBJ/box_UTF16BE.obj"};
    int trees = 0;
    QDirIterator it(modelRoot, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // OutOfMemory.off claims billions of vertices; Assimp tries to allocate them all.
        if (path.endsWith("invalid/OutOfMemory.off") || !ksMeshImporter::canImport(path))
            continue;
        QString error;
        const NodeRefPtr root = ksSceneImporter::loadFile(path, &error);
        if (root) {
            EXPECT_TRUE(error.isEmpty()) << path.toStdString();
            ++trees;
        } else {
            EXPECT_TRUE(error.startsWith(path + ": ")) << error.toStdString();
            unreadable.removeOne(path.mid(modelRoot.size()));
        }
    }
    EXPECT_GT(trees, 100);
    EXPECT_TRUE(unreadable.isEmpty()) << "gave a tree or is gone: " << unreadable.join(", ").toStdString();
}

} // namespace
