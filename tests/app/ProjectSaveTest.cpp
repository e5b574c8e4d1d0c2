// Licensed under the MIT licence; see LICENSE.
// A project save with the reference module loaded into this process as a
// plug-in, as the program loads it.
#include "ReferenceNodes.h"

#include "AppTestSupport.h"

#include "fileio/ksFileIOService.h"
#include "kernel/ksKernelServiceFactory.h"
#include "scene/ksFileIO.h"
#include "scene/ksScenegraph.h"
#include "startup/ksKernel.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>

using namespace osg;
using namespace referencenodes;

TEST(ProjectSave, AFailedSmartReferenceSaveLeavesTheProjectUntouched)
{
    ksKernel* kernel = new ksKernel;
    kernel->installHostServices();
    ASSERT_EQ(kernel->loadModules(TALVIK_PLUGIN_DIR), 1);
    // Mapped to the end, as in the talvik program: the module's
    // process-lifetime objects stay reachable after the kernel unloads it.
    const QDir plugins(TALVIK_PLUGIN_DIR);
    for (const QString& name : plugins.entryList({"*.so"}, QDir::Files))
        ::dlopen(QFile::encodeName(plugins.filePath(name)).constData(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    kernel->start();

    QTemporaryDir dir;
    const QString project = dir.filePath("P.zmb");
    QFile previous(project);
    ASSERT_TRUE(previous.open(QIODevice::WriteOnly) && previous.write("the previous project") > 0);
    previous.close();
    {
        // A smart file that is the project file itself cannot be saved.
        ExtReferenceRefPtr core = ExtReference::create();
        core->setSmartFile(record(project.toStdString()));
        const NodeRefPtr loop = add(ksScenegraph::getRoot(), "Loop", core);
        add(loop.get(), "LoopContent");
    }
    ksFileIOService* service = ksKernelServiceFactory::the().get<ksFileIOService>();
    QSignalSpy saving(service, &ksFileIOService::projectSave);
    QSignalSpy saved(service, &ksFileIOService::projectSaved);
    const QMap<QString, QString> before = apptest::snapshot(dir.path());
    EXPECT_FALSE(ksFileIO::saveProject(project));
    EXPECT_EQ(apptest::snapshot(dir.path()), before);
    EXPECT_EQ(saving.count(), 1);
    EXPECT_EQ(saved.count(), 1) << "whoever paused for the save resumes";
    EXPECT_NE(ksFileIO::getFilename(), project);

    // Timers the module armed must fire while its code is loaded.
    QTest::qWait(200);
    ksFileIO::newScene();
    delete kernel;
}
