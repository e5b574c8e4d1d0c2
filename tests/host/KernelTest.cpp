// Licensed under the MIT licence; see LICENSE.
// Module loading and the kernel's start-up and shut-down, through a real
// library: fixtures/alpha (three registrations, an interface object, a
// module object made at init).
#include "scenegraph/SceneGraph.h"

#include "LogRecorder.h"
#include "fixtures/FixtureInterface.h"

#include "kernel/ksController.h"
#include "kernel/ksInterfaceFactory.h"
#include "startup/ksKernel.h"
#include "kernel/ksKernelRegister.h"
#include "kernel/ksKernelServiceFactory.h"
#include "kernel/ksModuleList.h"
#include "kernel/ksMessage.h"
#include "kernel/ksModuleLoader.h"
#include "nodeutils/ksMaterials.h"
#include "scene/ksScenegraph.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

const QString alphaPath = QStringLiteral(TALVIK_FIXTURE_DIR "/alpha.so");

FixtureInterface* fixtureInterface()
{
    return ksInterfaceFactory::the().get<FixtureInterface>();
}

TEST(ModuleLoader, RunsEachLoadsRegistrationsOnceInOrderUnloadsStaticObjectsAndReportsAMissingLibrary)
{
    int linkedRuns = 0;
    ksKernelRegister linked([&] { ++linkedRuns; });
    LogRecorder log;
    ksModuleLoader loader;
    ASSERT_TRUE(loader.load(alphaPath));
    EXPECT_EQ(log.texts(), (Texts{"alpha: registration 1", "alpha: registration 2", "alpha: registration 3"}));

    // Registrations made outside the loads wait for runPending.
    EXPECT_EQ(linkedRuns, 0);
    EXPECT_GE(ksKernelRegister::runPending(), 1);
    EXPECT_EQ(ksKernelRegister::runPending(), 0);
    EXPECT_EQ(linkedRuns, 1);

    // Loading a loaded library again, also through another name, runs nothing.
    QTemporaryDir dir;
    const QString link = dir.filePath("alias.so");
    ASSERT_TRUE(QFile::link(alphaPath, link));
    log.clear();
    EXPECT_TRUE(loader.load(alphaPath));
    EXPECT_TRUE(loader.load(link));
    EXPECT_TRUE(log.texts().empty());
    EXPECT_EQ(loader.loaded().size(), 1);

    // Unloading destroys the library's static objects; a reload registers again.
    ASSERT_NE(fixtureInterface(), nullptr);
    EXPECT_EQ(fixtureInterface()->libraryName(), "alpha");
    ASSERT_TRUE(loader.unload(alphaPath));
    EXPECT_EQ(fixtureInterface(), nullptr);
    EXPECT_FALSE(loader.unload(alphaPath));

    log.clear();
    ASSERT_TRUE(loader.load(alphaPath));
    EXPECT_EQ(log.texts("alpha:").size(), 3u);
    EXPECT_NE(fixtureInterface(), nullptr);

    log.clear();
    QString error;
    EXPECT_FALSE(loader.load(QStringLiteral(TALVIK_FIXTURE_DIR "/missing.so"), &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_EQ(log.problems().size(), 1u);
    EXPECT_NE(log.problems()[0].find("missing.so"), std::string::npos);
    EXPECT_EQ(loader.loaded().size(), 1);
}

TEST(KernelRegister, WithdrawnWhenDestroyedUnrunAndAFailureStopsNoOther)
{
    const int pendingBefore = ksKernelRegister::pendingCount();
    bool ran = false;
    {
        ksKernelRegister registration([&] { ran = true; });
        EXPECT_EQ(ksKernelRegister::pendingCount(), pendingBefore + 1);
    }
    EXPECT_EQ(ksKernelRegister::pendingCount(), pendingBefore);

    LogRecorder log;
    bool secondRan = false;
    ksKernelRegister first([] { throw std::runtime_error("no licence"); });
    ksKernelRegister second([&] { secondRan = true; });
    EXPECT_EQ(ksKernelRegister::runPending(), 2);
    EXPECT_TRUE(secondRan);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].text.find("no licence"), std::string::npos);
    EXPECT_FALSE(ran);
}

// Modules send "updateMaterials" after putting content into the scene.
TEST(Kernel, StartsModulesOnceAnswersUpdateMaterialsAndTearsModulesDownBeforeUnloading)
{
    using namespace osg;
    LogRecorder log;
    ksKernel kernel;
    kernel.installHostServices();
    ASSERT_TRUE(kernel.loadModule(alphaPath));
    EXPECT_TRUE(log.texts("alpha: init").empty());
    ASSERT_NE(fixtureInterface(), nullptr);
    kernel.start();
    kernel.start();
    EXPECT_EQ(log.texts("alpha: init").size(), 1u);
    EXPECT_EQ(fixtureInterface()->initializeCount(), 1);
    ASSERT_NE(ksModuleList::instance().find("alpha"), nullptr);

    // The scene's materials are pooled, unused ones dropped.
    const UEnvironmentMaterialRefPtr environment = UEnvironmentMaterial::create();
    const UBRDFMaterialRefPtr paint = UBRDFMaterial::create();
    paint->setEnvironment(environment);
    const GeometryRefPtr geometry = Geometry::create();
    geometry->setMaterial(paint);
    const NodeRefPtr loaded = Node::create();
    loaded->setCore(geometry);
    ksScenegraph::getRoot()->addChild(loaded);
    {
        const UBRDFMaterialRefPtr unused = UBRDFMaterial::create();
        ksMaterials::addToMaterialPool(unused.get());
    }
    ksMessage message;
    EXPECT_TRUE(ksController::call("updateMaterials", message, nullptr));
    EXPECT_EQ(ksMaterials::getMaterialPoolMaterials(),
              (ksMaterials::MaterialSet{environment.get(), paint.get()}));

    kernel.shutdown();
    EXPECT_EQ(ksModuleList::instance().find("alpha"), nullptr);
    EXPECT_TRUE(kernel.loader().loaded().isEmpty());
    EXPECT_EQ(fixtureInterface(), nullptr);
    EXPECT_TRUE(ksKernelServiceFactory::the().services().isEmpty());
    EXPECT_FALSE(ksController::call("updateMaterials", message, nullptr)) << "the handler went with the host";
    ksScenegraph::getRoot()->subChild(loaded.get());
    ksMaterials::clearMaterialPool();
    ksKernelServiceFactory::the().clearEntries();
}

} // namespace
