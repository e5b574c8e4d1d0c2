// Licensed under the MIT licence; see LICENSE.
// Imports into the live scene, below a group "Imports" made for each test,
// and re-imports through the reference module.
#include "ImportTestSupport.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdReferenceNode.h"
#include "import/ksSceneImporter.h"
#include "kernel/ksFileIOService.h"
#include "kernel/ksKernelServiceFactory.h"
#include "references/ksReferenceService.h"
#include "references/ksReferenceTypes.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"

#include <QSignalSpy>

using namespace importtest;
using namespace osg;

namespace {

class SceneImport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_group = Node::create();
        m_group->setCore(Group::create());
        ksNodeUtils::setName(m_group.get(), "Imports", false);
        const NodePtr root = ksScenegraph::getRoot();
        beginEditCP(root, Node::ChildrenFieldMask);
        root->addChild(m_group);
        endEditCP(root, Node::ChildrenFieldMask);
    }
    void TearDown() override
    {
        ksScenegraph::deleteNode(m_group.get());
        ksFileIO::setImportCreateReferences(true);
    }

    static ksFileIOService* fileIO() { return ksKernelServiceFactory::the().get<ksFileIOService>(); }
    static ExtReferencePtr referenceCore(const NodeRefPtr& node) { return ExtReferencePtr::dcast(node->getCore()); }

    NodeRefPtr m_group;
    TempFiles m_files;
};

// Vertices, names and normals are kept, faces split into triangles. Bad files
// cost only themselves: reasons are appended and the import reports once.
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
                {m_files.write("plate.stl", plateStl), "plate", 6, 6, true},
                {m_files.write("cube.ply", cubePly), "cube", 8, 36, false}};
    const QStringList bad = {m_files.path("missing.obj"), m_files.write("empty.obj", QByteArray()),
                             m_files.write("broken.gltf", "{ nope"), m_files.write("notes.xyz", "text")};
    QSignalSpy starting(fileIO(), &ksFileIOService::startingImport);
    QSignalSpy finished(fileIO(), &ksFileIOService::importFinished);
    QSignalSpy progress(ksFileIO::instance(), &ksFileIO::advancedProgressChanged);
    QStringList errors = {"earlier line"};

    const std::vector<NodeRefPtr> added = ksSceneImporter::importFiles(
        {bad[0], good[0].path, bad[1], bad[2], good[1].path, bad[3], good[2].path}, m_group.get(), &errors);

    ASSERT_EQ(errors.size(), bad.size() + 1) << errors.join('\n').toStdString();
    for (int i = 0; i < bad.size(); ++i)
        EXPECT_TRUE(errors.at(i + 1).startsWith(bad.at(i) + ": ")) << errors.at(i + 1).toStdString();
    ASSERT_EQ(added.size(), 3u);
    ASSERT_EQ(m_group->getNChildren(), 3u);
    for (UInt32 i = 0; i < 3; ++i) {
        const auto& c = good[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(m_group->getChild(i), added[i].get());
        const ExtReferencePtr core = referenceCore(added[i]);
        ASSERT_TRUE(core && core->getSourceFile());
        EXPECT_EQ(core->getSourceFile()->getPath(), c.path.toStdString());
        EXPECT_EQ(core->getState(), ksReferenceTypes::Loaded);
        EXPECT_EQ(ksNodeUtils::getName(added[i].get()), c.name);
        EXPECT_EQ(ksSceneImporter::countVertices(added[i].get()), c.vertices);
        EXPECT_EQ(countIndices(added[i].get()), c.indices);
        for (const GeometryPtr& geometry : geometryUses(added[i].get())) {
            for (UInt32 index : geometry->getIndices())
                EXPECT_LT(index, geometry->getPositions().size());
            // Normals only as the file has them: one per vertex, or none.
            const std::size_t normals = geometry->getNormals().size();
            EXPECT_TRUE(normals == geometry->getPositions().size() || (!c.normals && normals == 0));
        }
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

TEST_F(SceneImport, WithoutReferencesTheFileRootIsAddedUnderTheFileName)
{
    ksFileIO::setImportCreateReferences(false);
    const std::vector<NodeRefPtr> added
        = ksSceneImporter::importFiles({m_files.write("cube.ply", cubePly)}, m_group.get());
    ASSERT_EQ(added.size(), 1u);
    EXPECT_FALSE(referenceCore(added[0]));
    EXPECT_TRUE(Transform3DPtr::dcast(added[0]->getCore()));
    EXPECT_EQ(ksNodeUtils::getName(added[0].get()), "cube");
    EXPECT_EQ(ksSceneImporter::countVertices(m_group.get()), 8u);

    // Without a parent the file goes below the live root.
    const std::vector<NodeRefPtr> top = ksSceneImporter::importFiles({m_files.path("cube.ply")}, NullFC);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0]->getParent(), ksScenegraph::getRoot());
    ksScenegraph::deleteNode(top[0].get());
}

TEST_F(SceneImport, LoadingTheSourceReferenceReimportsTheChangedFile)
{
    const QString path = m_files.write("part.obj", quadAndTriangleObj);
    const std::vector<NodeRefPtr> added = ksSceneImporter::importFiles({path}, m_group.get());
    ASSERT_EQ(added.size(), 1u);
    const NodeRefPtr node = added[0];
    const ExtReferencePtr core = referenceCore(node);
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
    EXPECT_EQ(referenceCore(node), core);
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
    const NodeRefPtr plain = Node::create();
    plain->setCore(Group::create());
    QStringList errors;
    EXPECT_TRUE(ksSceneImporter::reloadNodes({plain.get(), node.get()}, &errors).empty());
    EXPECT_EQ(errors.size(), 2);
}

} // namespace
