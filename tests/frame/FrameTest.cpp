// Licensed under the MIT licence; see LICENSE.
// The built reference plug-in in a host process: loaded through the host's
// loader, registered, started by the kernel's init, driven by host messages,
// and unloaded at the end. The process holds one host for all tests, set up
// by FrameEnvironment, which notes what the registrations left before init.
#include "scenegraph/SceneGraph.h"

#include "LogRecorder.h"
#include "ReferenceNodes.h"

#include "fileio/ksFileIOService.h"
#include "handles/ksdObjectManager.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "kernel/ksMessage.h"
#include "kernel/ksModuleBase.h"
#include "kernel/ksModuleList.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"
#include "references/ksdReferenceNode.h"
#include "startup/ksKernel.h"
#include "tree/ksTreeService.h"

#include <QMetaMethod>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace osg;

namespace {

const QString pluginPath = QStringLiteral(TALVIK_PLUGIN_DIR "/libtalvikreferences.so");

// The plug-in's settings object is made on first use and never destroyed:
// other static objects may read it at exit. Once the plug-in is unloaded,
// nothing points to it any more, which the leak checker reports. This is the
// one allocation it is told to accept, by this function's frame, which must
// stay on the stack (out of line, and no tail call).
__attribute__((noinline)) bool firstUseOfModuleSettings(ksReferenceService* service)
{
    const bool enabled = service->isUpdateMonitoringEnabled();
    asm volatile("" ::: "memory");
    return enabled;
}

// The pool shares one empty status pair between all cores without records,
// made with the first such core and never destroyed either; the same holds.
__attribute__((noinline)) void firstReferenceCore()
{
    const ExtReferenceRefPtr core = ExtReference::create();
    asm volatile("" ::: "memory");
}

} // namespace

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:firstUseOfModuleSettings\nleak:firstReferenceCore\n";
}

namespace {
constexpr char moduleName[] = "ksReferenceServiceMB";

// The kernel's base service, noting what exists at the moment someone
// connects to its init: the reference service does so in its constructor.
class WatchedBaseService : public ksBaseService
{
    Q_OBJECT

public:
    // Per connection, which exist (1) of: the node handle implementation, the
    // reference handle type, the service's factory entry, the interface object.
    QStringList atInitConnections;

protected:
    void connectNotify(const QMetaMethod& signal) override
    {
        if (signal != QMetaMethod::fromSignal(&ksBaseService::init))
            return;
        const ksdObjectManager& objects = ksdObjectManager::instance();
        atInitConnections << QStringLiteral("%1%2%3%4")
                                 .arg(int(objects.getImplementation(ksdReferenceNode::staticMetaObject) != nullptr))
                                 .arg(int(objects.getExternalType(ExtReference::getClassTypeId())
                                          == &ksdReferenceNode::staticMetaObject))
                                 .arg(int(ksKernelServiceFactory::the().has<ksReferenceService>()))
                                 .arg(int(ksInterfaceFactory::the().get<ksReferenceInterface>() != nullptr));
    }
};

class FrameEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        ksKernelServiceFactory& factory = ksKernelServiceFactory::the();
        base = new WatchedBaseService;
        factory.add<ksBaseService>(base);
        fileIO = factory.add(new ksFileIOService);
        tree = factory.add(new ksTreeService);

        loaded = kernel.loadModule(pluginPath);
        registrations = kernel.loader().registrationCount(pluginPath);
        moduleObjectBeforeInit = ksModuleList::instance().find(moduleName) != nullptr;
        if (ksReferenceService* service = referenceService()) {
            // Without init the service still keeps its settings.
            monitoringEnabledAtStart = firstUseOfModuleSettings(service);
            service->setNotificationMode(ksReferenceTypes::NotifyAfterUpdateCheck);
            notificationModeBeforeInit = service->getNotificationMode();
            service->setNotificationMode(ksReferenceTypes::NoNotification);
        }
        kernel.start();
        firstReferenceCore();
    }

    void TearDown() override
    {
        kernel.shutdown();
        // The plug-in's static objects are gone, the interface object with
        // them; the host no longer holds any of its code.
        EXPECT_TRUE(kernel.loader().loaded().isEmpty());
        EXPECT_EQ(ksInterfaceFactory::the().get<ksReferenceInterface>(), nullptr);
        EXPECT_EQ(ksdObjectManager::instance().getImplementation(ksdReferenceNode::staticMetaObject), nullptr);
        EXPECT_EQ(ksModuleList::instance().find(moduleName), nullptr);
        ksKernelServiceFactory::the().clearEntries();
    }

    static ksReferenceService* referenceService()
    {
        ksKernelServiceFactory& factory = ksKernelServiceFactory::the();
        return factory.has<ksReferenceService>() ? factory.get<ksReferenceService>() : nullptr;
    }

    ksKernel kernel;
    WatchedBaseService* base = nullptr;
    ksFileIOService* fileIO = nullptr;
    ksTreeService* tree = nullptr;
    bool loaded = false;
    int registrations = -1;
    bool moduleObjectBeforeInit = true;
    bool monitoringEnabledAtStart = false;
    ksReferenceTypes::NotificationMode notificationModeBeforeInit = ksReferenceTypes::NoNotification;
};

FrameEnvironment* const host = static_cast<FrameEnvironment*>(::testing::AddGlobalTestEnvironment(new FrameEnvironment));

class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host->loaded) << "plug-in not loaded from " << pluginPath.toStdString();
        service = FrameEnvironment::referenceService();
        ASSERT_NE(service, nullptr);
    }

    ksReferenceService* service = nullptr;
};

TEST_F(FrameTest, RegistersNodeHandlesBeforeTheServiceAndWaitsForInit)
{
    EXPECT_EQ(host->registrations, 2);
    // The service's constructor connects to init: by then the node handle
    // implementation and type are registered and the interface object
    // exists, and the service is not yet in the factory (it is entered
    // after construction).
    EXPECT_EQ(host->base->atInitConnections, QStringList{"1101"});
    EXPECT_FALSE(host->moduleObjectBeforeInit);
    EXPECT_TRUE(host->monitoringEnabledAtStart);
    EXPECT_EQ(host->notificationModeBeforeInit, ksReferenceTypes::NotifyAfterUpdateCheck);

    // After init: the interface, the service and the handle implementation
    // are the plug-in's, and the module object exists.
    EXPECT_NE(ksInterfaceFactory::the().get<ksReferenceInterface>(), nullptr);
    EXPECT_TRUE(ksKernelServiceFactory::the().services().contains(service));
    const auto implementation = ksdObjectManager::instance().getImplementation(ksdReferenceNode::staticMetaObject);
    ASSERT_NE(implementation, nullptr);
    EXPECT_STREQ(implementation->metaObject()->className(), "ksdReferenceNodeImpl");
    const ksModuleBase* module = ksModuleList::instance().find(moduleName);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->getFlags(), 0x108080E130ull);
}

TEST_F(FrameTest, SceneEventsReportThatReferencesMayHaveChanged)
{
    QSignalSpy changed(service, &ksReferenceService::referencesChanged);
    emit host->fileIO->newScene();
    emit host->fileIO->projectLoaded(QStringLiteral("/p/a.zmb"));
    emit host->fileIO->importFinished(7, 0.5);
    emit host->fileIO->savedGeometry(QStringLiteral("/p/b.osb"));
    emit host->tree->scenegraphChanged();
    // Project saves and loads alone change nothing that is reported.
    emit host->fileIO->projectSave(QStringLiteral("/p/a.zmb"));
    emit host->fileIO->projectLoad(QStringLiteral("/p/a.zmb"));
    ASSERT_EQ(changed.size(), 5);
    for (const QList<QVariant>& arguments : changed)
        EXPECT_TRUE(arguments.at(0).value<QList<ksdReferenceNode>>().isEmpty());
}

TEST_F(FrameTest, SelectedReferenceNodesAreForwardedInOrder)
{
    using referencenodes::add;
    const NodeRefPtr scene = add(NodePtr(), "scene");
    const NodeRefPtr plain = add(scene.get(), "plain");
    const NodeRefPtr first = add(scene.get(), "first", ExtReference::create());
    const NodeRefPtr second = add(scene.get(), "second", ExtReference::create());

    QSignalSpy selected(service, &ksReferenceService::sceneSelectionChanged);
    host->tree->setSelection({second.getFieldContainerId(), plain.getFieldContainerId(),
                              first.getFieldContainerId(), first->getCore().getFieldContainerId()});
    ASSERT_EQ(selected.size(), 1);
    const auto nodes = selected.at(0).at(0).value<QList<ksdReferenceNode>>();
    EXPECT_EQ(nodes, (QList<ksdReferenceNode>{ksdReferenceNode(second.getFieldContainerId()),
                                              ksdReferenceNode(first.getFieldContainerId())}));
    host->tree->setSelection({});
}

TEST_F(FrameTest, MessagesTurnMonitoringOffAndAFailureWhileHandlingOneIsLoggedAndSwallowed)
{
    ksModuleList& modules = ksModuleList::instance();
    service->setUpdateMonitoringEnabled(true);
    {
        QSignalSpy monitoring(service, &ksReferenceService::updateMonitoringChanged);
        LogRecorder log;
        ksMessage disable(0x4000);
        EXPECT_EQ(modules.sendMessage(disable), 1);
        EXPECT_FALSE(service->isUpdateMonitoringEnabled());
        ASSERT_EQ(monitoring.size(), 1);
        EXPECT_FALSE(monitoring.at(0).at(0).toBool());

        // Until enabled again; the other message the module takes, and one it does not.
        service->setUpdateMonitoringEnabled(true);
        ksMessage resetChanged(0x1000000000ull);
        EXPECT_EQ(modules.sendMessage(resetChanged), 1);
        // A module takes a message only when its flags hold every bit of the id.
        ksMessage foreign(0x4001);
        EXPECT_EQ(modules.sendMessage(foreign), 0);
        EXPECT_TRUE(service->isUpdateMonitoringEnabled());
        EXPECT_TRUE(log.texts().empty());
    }

    // A host listener that fails while the module handles the message.
    QObject listener;
    QObject::connect(service, &ksReferenceService::updateMonitoringChanged, &listener,
                     [](bool) { throw std::runtime_error("listener failed"); });
    LogRecorder log;
    ksMessage disable(0x4000);
    int received = 0;
    EXPECT_NO_THROW(received = modules.sendMessage(disable));
    EXPECT_EQ(received, 1);
    // The module's own answer stays 0.
    ksMessage again(0x4000);
    EXPECT_EQ(modules.find(moduleName)->receivedMessage(again), 0);
    EXPECT_EQ(log.texts(),
              std::vector<std::string>(2, "ksReferenceServiceMB::receivedMessage : An unknown exception occurred!"));
    EXPECT_EQ(log.lines()[0].level, ksLog::Level::Error);
    // The setting was stored before the listener ran.
    EXPECT_FALSE(service->isUpdateMonitoringEnabled());
}

} // namespace

#include "FrameTest.moc"
