// Licensed under the MIT licence; see LICENSE.
// Reading single files into detached trees: counts, shape, transforms and
// the reasons given for files that cannot be read.
#include "ImportTestSupport.h"

#include "import/ksMeshImporter.h"
#include "import/ksSceneImporter.h"

#include <assimp/scene.h>

#include <cmath>

using namespace importtest;
using namespace osg;

namespace {

// Two glTF nodes use one one-triangle mesh: "Placed" by translation,
// rotation (quaternion x, y, z, w) and scale, "Twin" untransformed.
QByteArray gltfWithNode(const aiVector3D& t, const aiQuaternion& q, const aiVector3D& s)
{
    const float triangle[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const QByteArray data = QByteArray(reinterpret_cast<const char*>(triangle), sizeof(triangle)).toBase64();
    return QStringLiteral(R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1]}],
"nodes":[{"name":"Placed","mesh":0,"translation":[%1,%2,%3],"rotation":[%4,%5,%6,%7],"scale":[%8,%9,%10]},
         {"name":"Twin","mesh":0}],
"meshes":[{"name":"Triangle","primitives":[{"attributes":{"POSITION":0}}]}],
"buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,%11"}],
"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36}],
"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}]})")
        .arg(t.x).arg(t.y).arg(t.z)
        .arg(q.x).arg(q.y).arg(q.z).arg(q.w)
        .arg(s.x).arg(s.y).arg(s.z)
        .arg(QString::fromLatin1(data))
        .toUtf8();
}

TEST(MeshRead, TextFilesKeepEveryVertexNameAndNormalAndSplitFacesIntoTriangles)
{
    TempFiles files;
    struct Case
    {
        const char* name;
        const char* content;
        quint64 vertices;
        std::size_t indices;
        bool normals;
    };
    const Case cases[] = {
        {"part.obj", quadAndTriangleObj, 7, 9, false},
        {"plate.stl", plateStl, 6, 6, true},
        {"cube.ply", cubePly, 8, 36, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const NodeRefPtr root = ksSceneImporter::loadFile(files.write(c.name, c.content), &error);
        ASSERT_TRUE(root) << error.toStdString();
        EXPECT_TRUE(error.isEmpty());
        EXPECT_EQ(ksNodeUtils::getName(root.get()), "ExtReference");
        EXPECT_TRUE(Transform3DPtr::dcast(root->getCore()));
        EXPECT_EQ(ksSceneImporter::countVertices(root.get()), c.vertices);
        EXPECT_EQ(countIndices(root.get()), c.indices);
        for (const GeometryPtr& geometry : geometryUses(root.get())) {
            for (UInt32 index : geometry->getIndices()) {
                EXPECT_LT(index, geometry->getPositions().size());
            }
            // Normals only as the file has them: one per vertex, or none.
            const std::size_t normals = geometry->getNormals().size();
            EXPECT_TRUE(normals == geometry->getPositions().size() || (!c.normals && normals == 0));
        }
    }
    const NodeRefPtr part = ksSceneImporter::loadFile(files.path("part.obj"));
    EXPECT_EQ(ksSceneImporter::countVertices(findNamed(part.get(), "Panel")), 4u);
    EXPECT_EQ(ksSceneImporter::countVertices(findNamed(part.get(), "Tri")), 3u);
}

// The node's Transform3D must put the mesh where the file does, both through
// its matrix and through the parts a user edits later (rebuilt into a fresh
// core). Rotations also come back as the expected angles where those are
// unique.
TEST(MeshRead, NodeTransformsSurviveAsMatrixAndAsParts)
{
    const float h = std::sqrt(0.5f);
    struct Case
    {
        const char* label;
        aiVector3D translation;
        aiQuaternion rotation; // w, x, y, z
        aiVector3D scale;
        bool checkDegrees;
        Vec3f degrees;
    };
    const Case cases[] = {
        {"moved, turned about Z, scaled", {1, 2, 3}, {h, 0, 0, h}, {2, 2, 2}, true, {0, 0, 90}},
        {"turned about X, uneven scale", {0, -5, 0}, {h, h, 0, 0}, {1, 3, 0.5f}, true, {90, 0, 0}},
        {"turned about Y by 90 (gimbal lock)", {4, 0, 0}, {h, 0, h, 0}, {1, 1, 1}, true, {0, 90, 0}},
        {"mirrored", {0, 0, 1}, {1, 0, 0, 0}, {-1, 1, 1}, true, {0, 0, 0}},
        {"turned about all axes", {1, 1, 1}, {0.8062258f, 0.1f, 0.3f, 0.5f}, {1, 2, 3}, false, {}},
    };
    TempFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QString error;
        const NodeRefPtr root = ksSceneImporter::loadFile(
            files.write("placed.gltf", gltfWithNode(c.translation, c.rotation, c.scale)), &error);
        ASSERT_TRUE(root) << error.toStdString();
        // One mesh used twice: one core, counted per use.
        const std::vector<GeometryPtr> uses = geometryUses(root.get());
        ASSERT_EQ(uses.size(), 2u);
        EXPECT_EQ(uses[0], uses[1]);
        EXPECT_EQ(ksSceneImporter::countVertices(root.get()), 6u);

        const Transform3DPtr core = Transform3DPtr::dcast(findNamed(root.get(), "Placed")->getCore());
        ASSERT_TRUE(core);
        Transform3DRefPtr rebuilt = Transform3D::create();
        rebuilt->setTranslation(core->getTranslation());
        rebuilt->setRotation(core->getRotation());
        rebuilt->setScale(core->getScale());
        // T * R * S, as glTF places a node.
        aiMatrix4x4 t, s;
        aiMatrix4x4::Translation(c.translation, t);
        aiMatrix4x4::Scaling(c.scale, s);
        const aiMatrix4x4 file = t * aiMatrix4x4(c.rotation.GetMatrix()) * s;
        for (const aiVector3D& p : {aiVector3D(1, 0, 0), aiVector3D(0, 1, 0), aiVector3D(0.5f, -2, 3)}) {
            const aiVector3D expected = file * p;
            for (const Transform3DPtr& t : {core, rebuilt.get()}) {
                const Vec3f got = t->getMatrix().transformPoint(Vec3f(p.x, p.y, p.z));
                EXPECT_NEAR(got.x(), expected.x, 1e-4);
                EXPECT_NEAR(got.y(), expected.y, 1e-4);
                EXPECT_NEAR(got.z(), expected.z, 1e-4);
            }
        }
        for (int i = 0; c.checkDegrees && i < 3; ++i)
            EXPECT_NEAR(core->getRotation()[i], c.degrees[i], 1e-3) << "axis " << i;
    }
}

TEST(MeshRead, FilesThatCannotBeReadGiveAReasonNamingTheFile)
{
    TempFiles files;
    struct Case
    {
        QString path;
        const char* reason;
    };
    const Case cases[] = {
        {files.path("missing.obj"), "not found"},
        {files.write("empty.stl", QByteArray()), "empty"},
        {files.write("notes.xyz", "v 0 0 0\n"), "unsupported"},
        {files.makeDir("folder.obj"), "directory"},
        {files.write("broken.gltf", "{ \"asset\": { \"version\": "), ""},
        {files.write("broken.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nend_header\n1\n"), ""},
        {QString(), "no file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QString error = "stale";
        EXPECT_FALSE(ksSceneImporter::loadFile(c.path, &error));
        EXPECT_TRUE(error.startsWith(c.path + ": ")) << error.toStdString();
        EXPECT_GT(error.size(), c.path.size() + 2) << "a reason follows the path";
        EXPECT_TRUE(error.contains(c.reason)) << error.toStdString();
    }
    for (const char* path : {"b.STL", "e.glb", "g.3ds", "h.dae", "/x/y.Obj"})
        EXPECT_TRUE(ksMeshImporter::canImport(path)) << path;
    for (const char* path : {"a.zmb", "noSuffix", "dir.obj/"})
        EXPECT_FALSE(ksMeshImporter::canImport(path)) << path;
}

} // namespace
