// Licensed under the MIT licence; see LICENSE.
// The update monitor inside a running host: the reference service starts and
// stops it with the monitoring setting and the pool's content, pauses it
// around imports, project loads and saves, applies its results to the
// scene's records and tells the user.
#include "UpdateMonitorSupport.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdObjectManager.h"
#include "handles/ksdReferenceNode.h"
#include "kernel/ksFileIOService.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernel.h"
#include "kernel/ksKernelServiceFactory.h"
#include "monitor/ksReferenceUpdateMonitor.h"
#include "notification/NotificationManager.h"
#include "notification/TextNotification.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"

#include <QSignalSpy>

#include <memory>

using namespace updatemonitortest;
using ksa::notification::NotificationManager;
using ksa::notification::TextNotification;

namespace {

// A handle implementation that answers the file states straight from the
// node's records, registered after the module's own so that the service's
// notification decision can be followed whatever the module's handle does.
class UpdateMonitorRecordStates : public ksdReferenceNode
{
    Q_OBJECT

public:
    ksReferenceTypes::FileState getSmartFileState() const override { return stateOf(true); }
    ksReferenceTypes::FileState getSourceFileState() const override { return stateOf(false); }

private:
    ksReferenceTypes::FileState stateOf(bool smart) const
    {
        const osg::NodePtr node = osg::NodePtr::dcast(osg::FieldContainerFactory::the()->getContainer(getObjectId()));
        const osg::ExtReferencePtr core = node ? osg::ExtReferencePtr::dcast(node->getCore()) : osg::NullFC;
        if (!core)
            return ksReferenceTypes::NoReference;
        const osg::FileReferencePtr record = smart ? core->getSmartFile() : core->getSourceFile();
        return record ? ksReferenceTypes::FileState(record->getState()) : ksReferenceTypes::NoReference;
    }
};

const QString missingText = QStringLiteral("Reference(s) missing, see Reference Editor.");
const QString updatesText = QStringLiteral("Reference update(s) available, see Reference Editor.");

// One host for the whole program, as the module's service registers once.
class HostEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_kernel.installHostServices();
        m_kernel.start();
        ensurePoolHooks();
        ksdObjectManager::instance().registerImplementation(std::make_shared<UpdateMonitorRecordStates>());
    }
    // The service goes first, and with it the monitor's thread.
    void TearDown() override { m_kernel.shutdown(); }

private:
    ksKernel m_kernel;
};

::testing::Environment* const host = ::testing::AddGlobalTestEnvironment(new HostEnvironment);

class UpdateMonitorServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(service, nullptr);
        ASSERT_NE(monitor, nullptr);
        ASSERT_TRUE(ksReferencePool::instance().isEmpty()) << "a test left references behind";
        NotificationManager::getInstance()->removeAll();
        service->setUpdateMonitoringInterval(10);
    }

    void TearDown() override
    {
        service->setUpdateMonitoringEnabled(false);
        service->setNotificationMode(ksReferenceTypes::NotificationMode(0));
        service->setRevisionCheckEnabled(false);
        service->setRevisionExpressions({});
        while (service->isUpdateMonitoringPaused())
            service->setUpdateMonitoringPaused(false);
        NotificationManager::getInstance()->removeAll();
    }

    // The next referencesChanged that names nodes (the scene-change signals
    // name none).
    QList<ksdReferenceNode> nextChange()
    {
        QList<ksdReferenceNode> nodes;
        EXPECT_TRUE(waitUntil([&] {
            while (!m_changes.isEmpty()) {
                nodes = m_changes.takeFirst().at(0).value<QList<ksdReferenceNode>>();
                if (!nodes.isEmpty())
                    return true;
            }
            return false;
        })) << "no results from the monitor";
        return nodes;
    }

    static QStringList shownTexts()
    {
        QStringList texts;
        for (ksa::notification::Notification* shown : NotificationManager::getInstance()->notifications()) {
            EXPECT_EQ(shown->context(), "tool");
            texts << shown->displayText();
        }
        return texts;
    }

    static osg::UInt32 smartState(const Reference& reference) { return reference.core()->getSmartFile()->getState(); }

    ksReferenceService* service = ksKernelServiceFactory::the().get<ksReferenceService>();
    ksReferenceUpdateMonitor* monitor = service ? service->findChild<ksReferenceUpdateMonitor*>() : nullptr;
    QSignalSpy m_changes{service, &ksReferenceService::referencesChanged};
    TestFiles m_files;
};

TEST_F(UpdateMonitorServiceTest, MonitorRunsWhileEnabledAndTheSceneHasReferences)
{
    EXPECT_FALSE(monitor->isRunning());
    service->setUpdateMonitoringEnabled(true);
    EXPECT_FALSE(monitor->isRunning()) << "nothing to watch";

    const QString file = m_files.write("a.zmb", "a", 10);
    auto first = std::make_unique<Reference>(makeRecord(file));
    EXPECT_TRUE(monitor->isRunning());
    service->setUpdateMonitoringEnabled(false);
    EXPECT_FALSE(monitor->isRunning());
    EXPECT_FALSE(service->isUpdateMonitoringEnabled());
    service->setUpdateMonitoringEnabled(true);
    EXPECT_TRUE(monitor->isRunning());

    // The last reference going stops the thread, also while passes follow
    // each other as fast as they can.
    service->setUpdateMonitoringInterval(0);
    for (int round = 0; round < 20; ++round) {
        first.reset();
        EXPECT_FALSE(monitor->isRunning());
        first = std::make_unique<Reference>(makeRecord(file));
        EXPECT_TRUE(monitor->isRunning());
    }
    first.reset();
    EXPECT_FALSE(monitor->isRunning());

    // With monitoring off, references do not start it.
    service->setUpdateMonitoringEnabled(false);
    const Reference second(makeRecord(file));
    EXPECT_FALSE(monitor->isRunning());
}

TEST_F(UpdateMonitorServiceTest, MissingAndChangedFilesReachTheRecordsTheHandlesAndTheUser)
{
    const Reference door(makeRecord(m_files.write("door.zmb", "first", 1000)));
    // A clone shares the core: both nodes show the new state.
    const osg::NodeRefPtr clone = osg::Node::create();
    osg::beginEditCP(clone, osg::Node::CoreFieldMask);
    clone->setCore(door.core());
    osg::endEditCP(clone, osg::Node::CoreFieldMask);
    const QList<ksdReferenceNode> expected{ksdReferenceNode(ksTypeConverter::convertNode(door.node().get())),
                                           ksdReferenceNode(ksTypeConverter::convertNode(clone.get()))};
    ASSERT_FALSE(expected[0].isNull());

    service->setNotificationMode(ksReferenceTypes::NotifyAfterUpdateCheck);
    service->setUpdateMonitoringEnabled(true);

    m_files.remove("door.zmb");
    QList<ksdReferenceNode> nodes = nextChange();
    std::sort(nodes.begin(), nodes.end());
    EXPECT_EQ(nodes, expected);
    EXPECT_EQ(smartState(door), ksReferenceTypes::Missing);
    EXPECT_EQ(door.core()->getSmartFile()->getLastModified(), 0u);
    EXPECT_EQ(shownTexts(), QStringList{missingText});

    m_files.write("door.zmb", "second", 2000);
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::Outdated);
    EXPECT_EQ(shownTexts(), (QStringList{missingText, updatesText}));

    // Back to the recorded content: up to date, nothing to tell.
    m_files.write("door.zmb", "first", 3000);
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::UpToDate);
    EXPECT_EQ(door.core()->getSmartFile()->getLastModified(), 3000u);
    EXPECT_EQ(shownTexts().size(), 2);

    // Without notifications the records still follow.
    service->setNotificationMode(ksReferenceTypes::NotificationMode(0));
    m_files.remove("door.zmb");
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::Missing);
    EXPECT_EQ(shownTexts().size(), 2);
}

TEST_F(UpdateMonitorServiceTest, RevisionSettingsReachTheMonitor)
{
    const Reference door(makeRecord(m_files.write("door_v3.zmb", "three", 300)));
    m_files.write("door_v12.zmb", "twelve", 1200);
    service->setNotificationMode(ksReferenceTypes::NotifyAfterUpdateCheck);
    service->setRevisionExpressions({"_v(\\d+)"});
    service->setUpdateMonitoringEnabled(true);
    EXPECT_TRUE(monitor->isRunning());
    EXPECT_EQ(service->getRevisionExpressions(), QStringList{"_v(\\d+)"});

    service->setRevisionCheckEnabled(true);
    EXPECT_TRUE(service->isRevisionCheckEnabled());
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::Outdated);
    EXPECT_EQ(shownTexts(), QStringList{updatesText});
}

TEST_F(UpdateMonitorServiceTest, AProjectLoadWithAnImportResumesAfterBoth)
{
    ksFileIOService* fileIO = ksKernelServiceFactory::the().get<ksFileIOService>();
    ASSERT_NE(fileIO, nullptr);
    const Reference door(makeRecord(m_files.write("door.zmb", "x", 10)));
    service->setUpdateMonitoringEnabled(true);
    ASSERT_TRUE(monitor->isRunning());

    emit fileIO->projectLoad("scene.zmb");
    EXPECT_TRUE(service->isUpdateMonitoringPaused());
    EXPECT_FALSE(monitor->isRunning());
    emit fileIO->startingImport(7, 1);
    emit fileIO->importFinished(7, 0.5);
    EXPECT_TRUE(service->isUpdateMonitoringPaused()) << "the load has not finished";
    EXPECT_FALSE(monitor->isRunning());
    emit fileIO->projectLoadFinished("scene.zmb", true);
    EXPECT_FALSE(service->isUpdateMonitoringPaused());
    EXPECT_TRUE(monitor->isRunning());

    // A save pauses too; a pause through the service nests with it.
    emit fileIO->projectSave("scene.zmb");
    service->setUpdateMonitoringPaused(true);
    emit fileIO->projectSaved("scene.zmb");
    EXPECT_FALSE(monitor->isRunning());
    service->setUpdateMonitoringPaused(false);
    EXPECT_TRUE(monitor->isRunning());

    service->setUpdateMonitoringInterval(1234);
    EXPECT_EQ(service->getUpdateMonitoringInterval(), 1234);
    EXPECT_EQ(monitor->getInterval(), 1234);
}

TEST_F(UpdateMonitorServiceTest, EachNotificationGoesThreeSecondsAfterItCame)
{
    ksReferenceInterface* reference = ksInterfaceFactory::the().get<ksReferenceInterface>();
    ASSERT_NE(reference, nullptr);
    QSignalSpy removed(NotificationManager::getInstance(), &NotificationManager::notificationRemoved);
    reference->showMissingReferencesNotification();
    reference->showMissingReferencesNotification();
    reference->showUpdatesAvailableNotification();
    EXPECT_EQ(shownTexts(), (QStringList{missingText, missingText, updatesText}));
    QCoreApplication::processEvents();
    EXPECT_EQ(removed.count(), 0);
    EXPECT_TRUE(waitUntil([&] { return removed.count() == 3; }));
    EXPECT_TRUE(shownTexts().isEmpty());
}

} // namespace

#include "UpdateMonitorServiceTest.moc"
