// Licensed under the MIT licence; see LICENSE.
// Reading single files into detached trees: counts, shape, transforms and
// the reasons given for files that cannot be read.
#include "ImportTestSupport.h"

#include "import/ksMeshImporter.h"
#include "import/ksSceneImporter.h"

#include <QFileInfo>
#include <QStringList>

#include <cmath>

using namespace importtest;
using namespace osg;

namespace {

// One glTF node using a one-triangle mesh, placed by translation, rotation
// (a quaternion x, y, z, w) and scale; a second node "Twin" uses the same
// mesh untransformed.
QByteArray gltfWithNode(const Vec3f& t, const float q[4], const Vec3f& s)
{
    const float triangle[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const QByteArray data = QByteArray(reinterpret_cast<const char*>(triangle), sizeof(triangle)).toBase64();
    const auto vec = [](const Vec3f& v) { return QStringLiteral("[%1,%2,%3]").arg(v.x()).arg(v.y()).arg(v.z()); };
    return QStringLiteral(
               R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1]}],
"nodes":[{"name":"Placed","mesh":0,"translation":%1,"rotation":[%2,%3,%4,%5],"scale":%6},
         {"name":"Twin","mesh":0}],
"meshes":[{"name":"Triangle","primitives":[{"attributes":{"POSITION":0}}]}],
"buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,%7"}],
"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36}],
"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}]})")
        .arg(vec(t))
        .arg(q[0])
        .arg(q[1])
        .arg(q[2])
        .arg(q[3])
        .arg(vec(s))
        .arg(QString::fromLatin1(data))
        .toUtf8();
}

void expectNear(const Vec3f& a, const Vec3f& b, const char* what)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(a[i], b[i], 1e-4) << what << " component " << i;
}

TEST(MeshRead, TextFilesKeepEveryVertexAndSplitFacesIntoTriangles)
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
        EXPECT_FALSE(root->getParent());
        EXPECT_EQ(ksSceneImporter::countVertices(root.get()), c.vertices);
        EXPECT_EQ(countIndices(root.get()), c.indices);
        for (const GeometryPtr& geometry : geometryUses(root.get())) {
            for (UInt32 index : geometry->getIndices()) {
                EXPECT_LT(index, geometry->getPositions().size());
            }
            if (c.normals) {
                EXPECT_EQ(geometry->getNormals().size(), geometry->getPositions().size());
            }
        }
    }
}

TEST(MeshRead, ObjectNamesBecomeNodeNames)
{
    TempFiles files;
    const NodeRefPtr root = ksSceneImporter::loadFile(files.write("part.obj", quadAndTriangleObj));
    ASSERT_TRUE(root);
    const NodePtr panel = findNamed(root.get(), "Panel");
    const NodePtr tri = findNamed(root.get(), "Tri");
    ASSERT_TRUE(panel);
    ASSERT_TRUE(tri);
    EXPECT_EQ(ksSceneImporter::countVertices(panel), 4u);
    EXPECT_EQ(ksSceneImporter::countVertices(tri), 3u);
}

// Each row places a node differently; the node's Transform3D must put the
// mesh where the file does, both through its matrix and through the parts a
// user edits later (rebuilt into a fresh core).
TEST(MeshRead, NodeTransformsSurviveAsMatrixAndAsParts)
{
    const float h = std::sqrt(0.5f);
    struct Case
    {
        const char* label;
        Vec3f translation;
        float rotation[4];
        Vec3f scale;
        Vec3f expectedDegrees;
        bool checkDegrees = true;
    };
    const Case cases[] = {
        {"identity", {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1}, {0, 0, 0}},
        {"moved, turned about Z, scaled", {1, 2, 3}, {0, 0, h, h}, {2, 2, 2}, {0, 0, 90}},
        {"turned about X, uneven scale", {0, -5, 0}, {h, 0, 0, h}, {1, 3, 0.5f}, {90, 0, 0}},
        {"turned about Y by 90 (gimbal lock)", {4, 0, 0}, {0, h, 0, h}, {1, 1, 1}, {0, 90, 0}},
        {"mirrored", {0, 0, 1}, {0, 0, 0, 1}, {-1, 1, 1}, {0, 0, 0}},
        {"turned about all axes", {1, 1, 1}, {0.1f, 0.3f, 0.5f, 0.8062258f}, {1, 2, 3}, {}, false},
    };
    TempFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QString error;
        const NodeRefPtr root
            = ksSceneImporter::loadFile(files.write("placed.gltf", gltfWithNode(c.translation, c.rotation, c.scale)), &error);
        ASSERT_TRUE(root) << error.toStdString();
        // One mesh used twice: one core, counted per use.
        const std::vector<GeometryPtr> uses = geometryUses(root.get());
        ASSERT_EQ(uses.size(), 2u);
        EXPECT_EQ(uses[0], uses[1]);
        EXPECT_EQ(ksSceneImporter::countVertices(root.get()), 6u);

        const NodePtr placed = findNamed(root.get(), "Placed");
        ASSERT_TRUE(placed);
        const Transform3DPtr core = Transform3DPtr::dcast(placed->getCore());
        ASSERT_TRUE(core);
        Transform3DRefPtr rebuilt = Transform3D::create();
        rebuilt->setTranslation(core->getTranslation());
        rebuilt->setRotation(core->getRotation());
        rebuilt->setScale(core->getScale());

        // Where the file puts three points: T * R * S * p.
        const float* q = c.rotation;
        const auto rotate = [&](const Vec3f& v) {
            const float x = q[0], y = q[1], z = q[2], w = q[3];
            const float m[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                                   {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                                   {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
            return Vec3f(m[0][0] * v.x() + m[0][1] * v.y() + m[0][2] * v.z(),
                         m[1][0] * v.x() + m[1][1] * v.y() + m[1][2] * v.z(),
                         m[2][0] * v.x() + m[2][1] * v.y() + m[2][2] * v.z());
        };
        for (const Vec3f& p : {Vec3f(1, 0, 0), Vec3f(0, 1, 0), Vec3f(0.5f, -2, 3)}) {
            const Vec3f scaled(p.x() * c.scale.x(), p.y() * c.scale.y(), p.z() * c.scale.z());
            const Vec3f expected = rotate(scaled) + c.translation;
            expectNear(core->getMatrix().transformPoint(p), expected, "matrix");
            expectNear(rebuilt->getMatrix().transformPoint(p), expected, "parts");
        }
        expectNear(core->getTranslation(), c.translation, "translation");
        if (c.checkDegrees)
            expectNear(core->getRotation(), c.expectedDegrees, "rotation");
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
}

TEST(MeshRead, SuffixesDecideWhatCanBeImported)
{
    for (const char* path : {"a.obj", "b.STL", "c.ply", "d.gltf", "e.glb", "f.fbx", "g.3ds", "h.dae", "/x/y.Obj"})
        EXPECT_TRUE(ksMeshImporter::canImport(path)) << path;
    for (const char* path : {"a.zmb", "b.xyz", "noSuffix", "", "dir.obj/"})
        EXPECT_FALSE(ksMeshImporter::canImport(path)) << path;
    const QStringList suffixes = ksMeshImporter::supportedSuffixes();
    for (const char* suffix : {"obj", "stl", "ply", "gltf", "glb", "fbx", "3ds", "dae"})
        EXPECT_TRUE(suffixes.contains(suffix)) << suffix;
}

} // namespace
