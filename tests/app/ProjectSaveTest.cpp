// Licensed under the MIT licence; see LICENSE.
// Project save and load with the reference module loaded into this process.
#include "AppTestSupport.h"

#include "kernel/ksFileIOService.h"
#include "kernel/ksKernel.h"
#include "kernel/ksKernelServiceFactory.h"
#include "nodeutils/ksNodeUtils.h"
#include "scene/ksFastGeometryLoader.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "scenegraph/SceneGraph.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>

using namespace osg;

namespace {

class ProjectSave : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_kernel = new ksKernel;
        s_kernel->installHostServices();
        ASSERT_EQ(s_kernel->loadModules(TALVIK_PLUGIN_DIR), 1);
        // Mapped to the end, as in the talvik program: the module's
        // process-lifetime objects stay reachable after the kernel unloads it.
        const QDir plugins(TALVIK_PLUGIN_DIR);
        for (const QString& name : plugins.entryList({"*.so"}, QDir::Files))
            ::dlopen(QFile::encodeName(plugins.filePath(name)).constData(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        s_kernel->start();
    }
    static void TearDownTestSuite()
    {
        // Timers the module armed must fire while its code is loaded.
        QTest::qWait(200);
        ksFileIO::newScene();
        delete s_kernel;
        s_kernel = nullptr;
    }
    void SetUp() override { ksFileIO::newScene(); }

    // A reference node under the live root with a smart file at `path` and
    // one child group.
    static NodePtr addSmartReference(const std::string& name, const QString& path)
    {
        FileReferenceRefPtr record = FileReference::create();
        record->setPath(path.toStdString());
        ExtReferenceRefPtr core = ExtReference::create();
        beginEditCP(core, ExtReference::SmartFileFieldMask);
        core->setSmartFile(record);
        endEditCP(core, ExtReference::SmartFileFieldMask);
        NodeRefPtr node = Node::create();
        node->setCore(core);
        ksNodeUtils::setName(node.get(), name);
        NodeRefPtr content = Node::create();
        content->setCore(Group::create());
        ksNodeUtils::setName(content.get(), name + "Content");
        beginEditCP(node, Node::ChildrenFieldMask);
        node->addChild(content);
        endEditCP(node, Node::ChildrenFieldMask);
        const NodePtr root = ksScenegraph::getRoot();
        beginEditCP(root, Node::ChildrenFieldMask);
        root->addChild(node);
        endEditCP(root, Node::ChildrenFieldMask);
        return node.get();
    }

    static ksFileIOService* service() { return ksKernelServiceFactory::the().get<ksFileIOService>(); }

    QTemporaryDir m_dir;
    static ksKernel* s_kernel;
};

ksKernel* ProjectSave::s_kernel = nullptr;

} // namespace

TEST_F(ProjectSave, WritesSmartContentToItsOwnFileAndLoadsItBack)
{
    const NodePtr door = addSmartReference("Door", m_dir.filePath("door.zmb"));
    const QString project = m_dir.filePath("P.zmb");
    QSignalSpy saving(service(), &ksFileIOService::projectSave);
    QSignalSpy saved(service(), &ksFileIOService::projectSaved);
    ASSERT_TRUE(ksFileIO::saveProject(project));
    EXPECT_EQ(saving.count(), 1);
    EXPECT_EQ(saved.count(), 1);
    EXPECT_TRUE(QFileInfo(m_dir.filePath("door.zmb")).isFile());
    EXPECT_EQ(door->getNChildren(), 1u) << "the live scene keeps the content";

    // The project file itself holds the reference without its content.
    ksFastGeometryLoader loader;
    const NodeRefPtr written = loader.load(project);
    ASSERT_TRUE(written);
    NodePtr writtenDoor;
    traverse(written.get(), [&](const NodePtr& n) {
        if (ksNodeUtils::getName(n) == "Door")
            writtenDoor = n;
        return Action::Continue;
    });
    ASSERT_TRUE(writtenDoor);
    EXPECT_EQ(writtenDoor->getNChildren(), 0u);

    ksFileIO::newScene();
    ASSERT_TRUE(ksFileIO::loadProject(project));
    const NodePtr root = ksScenegraph::getRoot();
    ASSERT_EQ(root->getNChildren(), 1u);
    const NodePtr loaded = root->getChild(0);
    ASSERT_EQ(loaded->getNChildren(), 1u) << "content comes from door.zmb";
    EXPECT_EQ(ksNodeUtils::getName(loaded->getChild(0)), "DoorContent");
}

TEST_F(ProjectSave, AFailedSmartReferenceSaveLeavesTheProjectUntouched)
{
    const QString project = m_dir.filePath("P.zmb");
    {
        QFile previous(project);
        ASSERT_TRUE(previous.open(QIODevice::WriteOnly));
        previous.write("the previous project");
    }
    // A smart file that is the project file itself cannot be saved.
    addSmartReference("Loop", project);
    const QMap<QString, QString> before = apptest::snapshot(m_dir.path());
    QSignalSpy saving(service(), &ksFileIOService::projectSave);
    QSignalSpy saved(service(), &ksFileIOService::projectSaved);
    EXPECT_FALSE(ksFileIO::saveProject(project));
    EXPECT_EQ(apptest::snapshot(m_dir.path()), before);
    EXPECT_EQ(saved.count(), saving.count()) << "whoever paused for the save resumes";
    EXPECT_NE(ksFileIO::getFilename(), project);
}
