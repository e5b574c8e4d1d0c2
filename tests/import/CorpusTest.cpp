// Licensed under the MIT licence; see LICENSE.
// Every file of Debian's assimp-testmodels with a suffix Assimp claims gives
// a tree or a reason naming it, without a crash.
#include "scenegraph/SceneGraph.h"

#include "import/ksMeshImporter.h"
#include "import/ksSceneImporter.h"

#include <QDirIterator>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace osg;

namespace {

const QString modelRoot = QStringLiteral("/usr/share/assimp/models/");

TEST(Corpus, EveryFileGivesATreeOrAReason)
{
    if (!QFileInfo::exists(modelRoot))
        GTEST_SKIP() << "assimp-testmodels is not installed";
    // Broken on purpose or without geometry.
    QStringList unreadable = {"glTF2/RecursiveNodes/RecursiveNodes.gltf", "glTF2/MissingBin/BoxTextured.gltf",
                              "glTF2/IndexOutOfRange/AllIndicesOutOfRange.gltf", "Collada/cameras.dae",
                              "STL/triangle_with_empty_solid.stl", "OBJ/box_UTF16BE.obj", "AC/nosurfaces.ac",
                              "invalid/OutOfMemory.off"};
    int trees = 0;
    QDirIterator it(modelRoot, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!ksMeshImporter::canImport(path))
            continue;
        QString error;
        const NodeRefPtr root = ksSceneImporter::loadFile(path, &error);
        if (root) {
            EXPECT_TRUE(error.isEmpty()) << path.toStdString();
            EXPECT_GT(ksSceneImporter::countVertices(root.get()), 0u) << path.toStdString();
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
