// Licensed under the MIT licence; see LICENSE.
// Imports into the live scene and re-imports through the reference module:
//
//   root
//     Imports (Group)              one per test, removed afterwards
//       part (ExtReference)        an imported file, named after it
//         <file's root> ...
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
#include <QStringList>

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
    static ksdReferenceNode handleOf(const NodeRefPtr& node)
    {
        return ksdReferenceNode(ksTypeConverter::convertNode(node.get()));
    }

    NodeRefPtr m_group;
    TempFiles m_files;
};

TEST_F(SceneImport, FilesBecomeSourceReferencesNamedAfterThem)
{
    const QString part = m_files.write("part.obj", quadAndTriangleObj);
    const QString plate = m_files.write("plate.stl", plateStl);
    QSignalSpy starting(fileIO(), &ksFileIOService::startingImport);
    QSignalSpy finished(fileIO(), &ksFileIOService::importFinished);
    QSignalSpy progress(ksFileIO::instance(), &ksFileIO::advancedProgressChanged);
    QStringList errors;

    const std::vector<NodeRefPtr> added = ksSceneImporter::importFiles({part, plate}, m_group.get(), &errors);

    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    ASSERT_EQ(added.size(), 2u);
    ASSERT_EQ(m_group->getNChildren(), 2u);
    const QString paths[] = {part, plate};
    const char* const names[] = {"part", "plate"};
    const quint64 vertices[] = {7, 6};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(m_group->getChild(UInt32(i)), added[std::size_t(i)].get());
        const ExtReferencePtr core = referenceCore(added[std::size_t(i)]);
        ASSERT_TRUE(core);
        ASSERT_TRUE(core->getSourceFile());
        EXPECT_EQ(core->getSourceFile()->getPath(), paths[i].toStdString());
        EXPECT_EQ(core->getState(), ksReferenceTypes::Loaded);
        EXPECT_EQ(ksNodeUtils::getName(added[std::size_t(i)].get()), names[i]);
        EXPECT_EQ(handleOf(added[std::size_t(i)]).getSourcePath(), paths[i]);
        EXPECT_EQ(ksSceneImporter::countVertices(added[std::size_t(i)].get()), vertices[i]);
    }

    ASSERT_EQ(starting.count(), 1);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(starting.at(0).at(1).toUInt(), 2u);
    EXPECT_EQ(starting.at(0).at(0), finished.at(0).at(0)) << "one import id for both signals";
    EXPECT_GE(finished.at(0).at(1).toDouble(), 0.0);
    ASSERT_EQ(progress.count(), 2);
    EXPECT_EQ(progress.last().at(0).toInt(), 2);
    EXPECT_EQ(progress.last().at(1).toInt(), 2);
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
    EXPECT_EQ(added[0]->getParent(), m_group.get());
    EXPECT_EQ(ksSceneImporter::countVertices(m_group.get()), 8u);

    // Without a parent the file goes below the live root.
    const NodePtr root = ksScenegraph::getRoot();
    const std::vector<NodeRefPtr> top = ksSceneImporter::importFiles({m_files.path("cube.ply")}, NullFC);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0]->getParent(), root);
    ksScenegraph::deleteNode(top[0].get());
}

TEST_F(SceneImport, UnreadableFilesAreSkippedWithTheirReasonAndLeaveTheSceneAlone)
{
    const QString good = m_files.write("plate.stl", plateStl);
    const QStringList bad = {m_files.path("missing.obj"), m_files.write("empty.obj", QByteArray()),
                             m_files.write("broken.gltf", "{ nope"), m_files.write("notes.xyz", "text")};
    QSignalSpy starting(fileIO(), &ksFileIOService::startingImport);
    QSignalSpy finished(fileIO(), &ksFileIOService::importFinished);
    QStringList errors = {"earlier line"};

    const std::vector<NodeRefPtr> none = ksSceneImporter::importFiles(bad, m_group.get(), &errors);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(m_group->getNChildren(), 0u);
    ASSERT_EQ(errors.size(), bad.size() + 1) << "lines are appended";
    for (int i = 0; i < bad.size(); ++i)
        EXPECT_TRUE(errors.at(i + 1).startsWith(bad.at(i) + ": ")) << errors.at(i + 1).toStdString();
    EXPECT_EQ(starting.count(), 1);
    EXPECT_EQ(finished.count(), 1);

    // A bad file among good ones costs only itself.
    errors.clear();
    const std::vector<NodeRefPtr> one = ksSceneImporter::importFiles({bad.at(0), good}, m_group.get(), &errors);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(ksNodeUtils::getName(one[0].get()), "plate");
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(ksFileIO::getAdvancedProgressDepth(), 0);
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
    beginEditCP(core, Transform3D::TranslationFieldMask);
    core->setTranslation(Vec3f(5, 0, 0));
    endEditCP(core, Transform3D::TranslationFieldMask);

    ksdReferenceNode handle = handleOf(node);
    handle.unload();
    EXPECT_EQ(handle.getState(), ksReferenceTypes::NotLoaded);
    EXPECT_EQ(ksSceneImporter::countVertices(node.get()), 0u);

    m_files.write("part.obj", threeTrianglesObj);
    handle.loadSourceReference();

    EXPECT_EQ(handle.getState(), ksReferenceTypes::Loaded);
    EXPECT_EQ(ksSceneImporter::countVertices(node.get()), 9u);
    EXPECT_TRUE(findNamed(node.get(), "Strip"));
    EXPECT_EQ(node->getParent(), m_group.get());
    EXPECT_EQ(referenceCore(node), core);
    EXPECT_EQ(core->getTranslation(), Vec3f(5, 0, 0));
    EXPECT_EQ(core->getSourceFile()->getPath(), path.toStdString());

    // Loaded content is replaced, not added to.
    handle.loadSourceReference();
    EXPECT_EQ(ksSceneImporter::countVertices(node.get()), 9u);

    // The service's re-import goes through the file-IO service.
    m_files.write("part.obj", quadAndTriangleObj);
    ksReferenceService* service = ksKernelServiceFactory::the().get<ksReferenceService>();
    ASSERT_TRUE(service);
    const QList<ksdReferenceNode> reloaded = service->loadSourceReferences({handle});
    ASSERT_EQ(reloaded.size(), 1);
    EXPECT_EQ(ksTypeConverter::convertNode(reloaded.first()), node.get());
    EXPECT_EQ(ksSceneImporter::countVertices(node.get()), 7u);
}

TEST_F(SceneImport, AReimportThatFailsKeepsTheContentAndState)
{
    const QString path = m_files.write("plate.stl", plateStl);
    const std::vector<NodeRefPtr> added = ksSceneImporter::importFiles({path}, m_group.get());
    ASSERT_EQ(added.size(), 1u);
    ksdReferenceNode handle = handleOf(added[0]);
    handle.unload();
    ASSERT_TRUE(QFile::remove(path));

    handle.loadSourceReference();
    EXPECT_EQ(handle.getState(), ksReferenceTypes::NotLoaded);
    EXPECT_EQ(added[0]->getNChildren(), 0u);

    // A node that never had a source file is reported, not reloaded.
    const NodeRefPtr plain = Node::create();
    plain->setCore(Group::create());
    QStringList errors;
    EXPECT_TRUE(ksSceneImporter::reloadNodes({plain.get(), added[0].get()}, &errors).empty());
    EXPECT_EQ(errors.size(), 2);
}

} // namespace
