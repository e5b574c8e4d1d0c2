// Licensed under the MIT licence; see LICENSE.
// Reading files into detached trees and, in a started host, into the live
// scene below a group "Imports" made for each test, and again through the
// reference module.
#include "ReferenceNodes.h"
#include "StartedHostEnvironment.h"

#include "fileio/ksFileIOService.h"
#include "handles/ksTypeConverter.h"
#include "import/ksSceneImporter.h"
#include "kernel/ksKernelServiceFactory.h"
#include "references/ksReferenceService.h"
#include "references/ksdReferenceNode.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"

#include <assimp/scene.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>

using namespace osg;
using referencenodes::coreOf;

// Some of Assimp's readers leak what they built when they give up on a broken
// file; those leaks are the library's, not the importer's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libassimp.so\n";
}

namespace {

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new StartedHostEnvironment);

// A quad with normals ("Panel", 2 triangles once split) and a triangle
// ("Tri"): 7 vertices in all.
const char* const quadAndTriangleObj = "o Panel\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\n"
                                       "f 1//1 2//1 3//1 4//1\n"
                                       "o Tri\nv 2 0 0\nv 3 0 0\nv 2 1 0\nf 5 6 7\n";

// Two facets of a square plate: 6 vertices, each with the facet normal.
const char* const plateStl = "solid plate\n"
                             "facet normal 0 0 1\n outer loop\n vertex 0 0 0\n vertex 1 0 0\n vertex 1 1 0\n"
                             " endloop\nendfacet\n"
                             "facet normal 0 0 1\n outer loop\n vertex 0 0 0\n vertex 1 1 0\n vertex 0 1 0\n"
                             " endloop\nendfacet\nendsolid plate\n";

struct TempFiles : QTemporaryDir
{
    QString path(const QString& name) const { return filePath(name); }
    QString write(const QString& name, const QByteArray& content)
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size());
        return path(name);
    }
};

// Every Geometry core use below `root`, depth first.
std::vector<GeometryPtr> geometryUses(const NodePtr& root, std::vector<GeometryPtr> uses = {})
{
    if (const GeometryPtr geometry = GeometryPtr::dcast(root->getCore()))
        uses.push_back(geometry);
    for (UInt32 i = 0; i < root->getNChildren(); ++i)
        uses = geometryUses(root->getChild(i), std::move(uses));
    return uses;
}

// The first node named `name` below `root` (depth first), or NullFC.
NodePtr findNamed(const NodePtr& root, const std::string& name)
{
    if (!root || ksNodeUtils::getName(root) == name)
        return root;
    for (UInt32 i = 0; i < root->getNChildren(); ++i) {
        if (const NodePtr hit = findNamed(root->getChild(i), name))
            return hit;
    }
    return NullFC;
}

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

// The parts a user edits (rebuilt into a fresh core) put the mesh where the
// file does, with the angles as expected where they are unique.
TEST(SceneImportDetached, NodeTransformsSplitIntoPartsThatRebuildTheFileMatrix)
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
            const Vec3f got = rebuilt->getMatrix().transformPoint(Vec3f(p.x, p.y, p.z));
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(got[i], expected[i], 1e-4);
        }
        for (int i = 0; !std::isnan(c.degrees[0]) && i < 3; ++i)
            EXPECT_NEAR(core->getRotation()[i], c.degrees[i], 1e-3) << "axis " << i;
    }
}

class SceneImport : public ::testing::Test
{
protected:
    void SetUp() override { m_group = referencenodes::add(ksScenegraph::getRoot(), "Imports"); }
    void TearDown() override { ksScenegraph::deleteNode(m_group.get()); }

    NodeRefPtr m_group;
    TempFiles m_files;
};

// Vertices, names and normals are kept, faces split into triangles. Bad files
// cost only themselves: reasons naming them are appended, the import reports once.
TEST_F(SceneImport, FilesBecomeSourceReferencesNamedAfterThemAndBadOnesGiveReasons)
{
    const struct
    {
        QString path;
        std::string name;
        quint64 vertices;
        std::size_t indices;
        bool normals;
    } good[] = {{m_files.write("part.obj", quadAndTriangleObj), "part", 7, 9, false},
                {m_files.write("plate.stl", plateStl), "plate", 6, 6, true}};
    ASSERT_TRUE(QDir().mkpath(m_files.path("folder.obj")));
    const std::pair<QString, const char*> bad[] = {
        {m_files.path("missing.obj"), "not found"},     {m_files.write("empty.stl", ""), "empty"},
        {m_files.write("notes.xyz", "text"), "unsupported"}, {m_files.path("folder.obj"), "directory"},
        {m_files.write("broken.gltf", "{ nope"), ""},
    };
    auto* fileIO = ksKernelServiceFactory::the().get<ksFileIOService>();
    QSignalSpy starting(fileIO, &ksFileIOService::startingImport);
    QSignalSpy finished(fileIO, &ksFileIOService::importFinished);
    QSignalSpy progress(ksFileIO::instance(), &ksFileIO::advancedProgressChanged);
    QStringList errors = {"earlier line"};

    const std::vector<NodeRefPtr> added = ksSceneImporter::importFiles(
        {bad[0].first, good[0].path, bad[1].first, bad[2].first, good[1].path, bad[3].first, bad[4].first},
        m_group.get(), &errors);

    ASSERT_EQ(errors.size(), 6) << errors.join('\n').toStdString();
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(errors.at(i + 1).startsWith(bad[i].first + ": ")) << errors.at(i + 1).toStdString();
        EXPECT_TRUE(errors.at(i + 1).contains(bad[i].second)) << errors.at(i + 1).toStdString();
        EXPECT_GT(errors.at(i + 1).size(), bad[i].first.size() + 2) << "a reason follows the path";
    }
    ASSERT_EQ(added.size(), 2u);
    ASSERT_EQ(m_group->getNChildren(), 2u);
    for (UInt32 i = 0; i < 2; ++i) {
        const auto& c = good[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(m_group->getChild(i), added[i].get());
        const ExtReferencePtr core = coreOf(added[i].get());
        ASSERT_TRUE(core && core->getSourceFile());
        EXPECT_EQ(core->getSourceFile()->getPath(), c.path.toStdString());
        EXPECT_EQ(core->getState(), ksReferenceTypes::Loaded);
        EXPECT_EQ(ksNodeUtils::getName(added[i].get()), c.name);
        EXPECT_EQ(ksSceneImporter::countVertices(added[i].get()), c.vertices);
        std::size_t indices = 0;
        for (const GeometryPtr& geometry : geometryUses(added[i].get())) {
            indices += geometry->getIndices().size();
            for (UInt32 index : geometry->getIndices())
                EXPECT_LT(index, geometry->getPositions().size());
            // Normals only as the file has them: one per vertex, or none.
            const std::size_t normals = geometry->getNormals().size();
            EXPECT_TRUE(normals == geometry->getPositions().size() || (!c.normals && normals == 0));
        }
        EXPECT_EQ(indices, c.indices) << "faces split into triangles";
    }
    EXPECT_EQ(ksSceneImporter::countVertices(findNamed(added[0].get(), "Panel")), 4u);
    EXPECT_EQ(ksSceneImporter::countVertices(findNamed(added[0].get(), "Tri")), 3u);

    ASSERT_EQ(starting.count(), 1);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(starting.at(0).at(1).toUInt(), 7u);
    EXPECT_EQ(starting.at(0).at(0), finished.at(0).at(0)) << "one import id for both signals";
    ASSERT_EQ(progress.count(), 7);
    EXPECT_EQ(progress.last().mid(0, 2), (QList<QVariant>{7, 7}));
    EXPECT_EQ(ksFileIO::getAdvancedProgressDepth(), 0);
}

TEST_F(SceneImport, LoadingTheSourceReferenceReimportsTheChangedFile)
{
    const QString path = m_files.write("part.obj", quadAndTriangleObj);
    const std::vector<NodeRefPtr> added = ksSceneImporter::importFiles({path}, m_group.get());
    ASSERT_EQ(added.size(), 1u);
    const NodeRefPtr node = added[0];
    const ExtReferencePtr core = coreOf(node.get());
    ASSERT_TRUE(core);
    // The user's placement of the reference must survive the re-import.
    core->setTranslation(Vec3f(5, 0, 0));

    ksdReferenceNode handle(ksTypeConverter::convertNode(node.get()));
    handle.unload();
    m_files.write("part.obj", "o Strip\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    handle.loadSourceReference();
    EXPECT_EQ(handle.getState(), ksReferenceTypes::Loaded);
    EXPECT_EQ(ksSceneImporter::countVertices(node.get()), 3u);
    EXPECT_EQ(node->getParent(), m_group.get());
    EXPECT_EQ(coreOf(node.get()), core);
    EXPECT_EQ(core->getTranslation(), Vec3f(5, 0, 0));
    // Loaded content is replaced, not added to.
    handle.loadSourceReference();
    EXPECT_EQ(ksSceneImporter::countVertices(node.get()), 3u);

    // The service's re-import goes through the file-IO service.
    m_files.write("part.obj", quadAndTriangleObj);
    const QList<ksdReferenceNode> reloaded
        = ksKernelServiceFactory::the().get<ksReferenceService>()->loadSourceReferences({handle});
    ASSERT_EQ(reloaded.size(), 1);
    EXPECT_EQ(ksTypeConverter::convertNode(reloaded.first()), node.get());
    EXPECT_EQ(ksSceneImporter::countVertices(node.get()), 7u);

    // A re-import that fails keeps the content and state it found.
    handle.unload();
    ASSERT_TRUE(QFile::remove(path));
    handle.loadSourceReference();
    EXPECT_EQ(handle.getState(), ksReferenceTypes::NotLoaded);
    EXPECT_EQ(node->getNChildren(), 0u);
    // A node that never had a source file is reported, not reloaded.
    const NodeRefPtr plain = referencenodes::add(NullFC, "plain");
    QStringList errors;
    EXPECT_TRUE(ksSceneImporter::reloadNodes({plain.get(), node.get()}, &errors).empty());
    EXPECT_EQ(errors.size(), 2);
}

} // namespace
