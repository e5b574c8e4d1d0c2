// Licensed under the MIT licence; see LICENSE.
// Reading single files into detached trees: transforms and the reasons
// given for files that cannot be read.
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
        .arg(t.x).arg(t.y).arg(t.z).arg(q.x).arg(q.y).arg(q.z).arg(q.w).arg(s.x).arg(s.y).arg(s.z)
        .arg(QString::fromLatin1(data))
        .toUtf8();
}

// The Transform3D puts the mesh where the file does, by matrix and by the parts
// a user edits (rebuilt into a fresh core), with unique angles as expected.
TEST(MeshRead, NodeTransformsSurviveAsMatrixAndAsParts)
{
    const float h = std::sqrt(0.5f);
    const struct
    {
        const char* label;
        aiVector3D translation;
        aiQuaternion rotation; // w, x, y, z
        aiVector3D scale;
        Vec3f degrees; // x is NaN where the angles are not unique
    } cases[] = {
        {"moved, turned about Z, scaled", {1, 2, 3}, {h, 0, 0, h}, {2, 2, 2}, {0, 0, 90}},
        {"turned about X, uneven scale", {0, -5, 0}, {h, h, 0, 0}, {1, 3, 0.5f}, {90, 0, 0}},
        {"turned about Y by 90 (gimbal lock)", {4, 0, 0}, {h, 0, h, 0}, {1, 1, 1}, {0, 90, 0}},
        {"mirrored", {0, 0, 1}, {1, 0, 0, 0}, {-1, 1, 1}, {0, 0, 0}},
        {"turned about all axes", {1, 1, 1}, {0.8062258f, 0.1f, 0.3f, 0.5f}, {1, 2, 3}, {NAN, 0, 0}},
    };
    TempFiles files;
    for (const auto& c : cases) {
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
        const aiMatrix4x4 file = aiMatrix4x4::Translation(c.translation, t) * aiMatrix4x4(c.rotation.GetMatrix())
                                 * aiMatrix4x4::Scaling(c.scale, s);
        for (const aiVector3D& p : {aiVector3D(1, 0, 0), aiVector3D(0, 1, 0), aiVector3D(0.5f, -2, 3)}) {
            const aiVector3D expected = file * p;
            for (const Transform3DPtr& t : {core, rebuilt.get()}) {
                const Vec3f got = t->getMatrix().transformPoint(Vec3f(p.x, p.y, p.z));
                for (int i = 0; i < 3; ++i)
                    EXPECT_NEAR(got[i], expected[i], 1e-4);
            }
        }
        for (int i = 0; !std::isnan(c.degrees[0]) && i < 3; ++i)
            EXPECT_NEAR(core->getRotation()[i], c.degrees[i], 1e-3) << "axis " << i;
    }
}

TEST(MeshRead, FilesThatCannotBeReadGiveAReasonNamingTheFile)
{
    TempFiles files;
    const std::pair<QString, const char*> cases[] = {
        {files.path("missing.obj"), "not found"},
        {files.write("empty.stl", QByteArray()), "empty"},
        {files.write("notes.xyz", "v 0 0 0\n"), "unsupported"},
        {files.makeDir("folder.obj"), "directory"},
        {files.write("broken.gltf", "{ \"asset\": { \"version\": "), ""},
        {files.write("broken.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nend_header\n1\n"), ""},
        {QString(), "no file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first.toStdString());
        QString error = "stale";
        EXPECT_FALSE(ksSceneImporter::loadFile(c.first, &error));
        EXPECT_TRUE(error.startsWith(c.first + ": ")) << error.toStdString();
        EXPECT_GT(error.size(), c.first.size() + 2) << "a reason follows the path";
        EXPECT_TRUE(error.contains(c.second)) << error.toStdString();
    }
    const std::pair<const char*, bool> suffixes[] = {{"b.STL", true}, {"e.glb", true}, {"g.3ds", true},
        {"h.dae", true}, {"/x/y.Obj", true}, {"a.zmb", false}, {"noSuffix", false}, {"dir.obj/", false}};
    for (const auto& suffix : suffixes)
        EXPECT_EQ(ksMeshImporter::canImport(suffix.first), suffix.second) << suffix.first;
}

} // namespace
