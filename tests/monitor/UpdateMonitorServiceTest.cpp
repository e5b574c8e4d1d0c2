// Licensed under the MIT licence; see LICENSE.
// The update monitor inside a running host: the reference service starts and
// stops it with the monitoring setting and the pool's content, pauses it
// around imports, project loads and saves, applies its results to the
// scene's records and tells the user.
#include "UpdateMonitorSupport.h"

#include "StartedHostEnvironment.h"

#include "handles/ksTypeConverter.h"
#include "handles/ksdReferenceNode.h"
#include "kernel/ksFileIOService.h"
#include "kernel/ksInterfaceFactory.h"
#include "kernel/ksKernelServiceFactory.h"
#include "monitor/ksReferenceUpdateMonitor.h"
#include "notification/Notification.h"
#include "notification/NotificationManager.h"
#include "references/ksReferenceInterface.h"
#include "references/ksReferenceService.h"

#include <QSignalSpy>

#include <memory>

using namespace updatemonitortest;
using ksa::notification::NotificationManager;

namespace {

const QString missingText = QStringLiteral("Reference(s) missing, see Reference Editor.");
const QString updatesText = QStringLiteral("Reference update(s) available, see Reference Editor.");

// One host for the whole program, as the module's service registers once;
// at its end the service goes first, and with it the monitor's thread.
::testing::Environment* const host = ::testing::AddGlobalTestEnvironment(new StartedHostEnvironment);

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
        // Recorded as shown: each goes again after a few seconds.
        QObject::connect(NotificationManager::getInstance(), &NotificationManager::notificationShown, &m_receiver,
                         [this](ksa::notification::Notification* shown) {
                             EXPECT_EQ(shown->context(), "tool");
                             m_shown << shown->displayText();
                         });
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

    static osg::UInt32 smartState(const Reference& reference) { return reference.core()->getSmartFile()->getState(); }

    ksReferenceService* service = ksKernelServiceFactory::the().get<ksReferenceService>();
    ksReferenceUpdateMonitor* monitor = service ? service->findChild<ksReferenceUpdateMonitor*>() : nullptr;
    QSignalSpy m_changes{service, &ksReferenceService::referencesChanged};
    TestFiles m_files;
    QObject m_receiver;
    QStringList m_shown;
};

TEST_F(UpdateMonitorServiceTest, MonitorRunsWhileEnabledWithReferencesAndOutsideLoadsAndSaves)
{
    EXPECT_FALSE(monitor->isRunning());
    service->setUpdateMonitoringEnabled(true);
    EXPECT_FALSE(monitor->isRunning()) << "nothing to watch";

    const QString file = m_files.write("a.zmb", "a", 10);
    auto first = std::make_unique<Reference>(makeRecord(file));
    EXPECT_TRUE(monitor->isRunning());
    service->setUpdateMonitoringEnabled(false);
    EXPECT_FALSE(monitor->isRunning());
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
    const Reference door(makeRecord(file));
    EXPECT_FALSE(monitor->isRunning());

    // A project load with an import in it resumes after both.
    service->setUpdateMonitoringEnabled(true);
    ksFileIOService* fileIO = ksKernelServiceFactory::the().get<ksFileIOService>();
    emit fileIO->projectLoad("scene.zmb");
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
    EXPECT_EQ(monitor->getInterval(), 1234);
}

TEST_F(UpdateMonitorServiceTest, MissingChangedAndNewerFilesReachTheRecordsTheHandlesAndTheUser)
{
    const Reference door(makeRecord(m_files.write("door_v3.zmb", "first", 1000)));
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

    m_files.remove("door_v3.zmb");
    QList<ksdReferenceNode> nodes = nextChange();
    std::sort(nodes.begin(), nodes.end());
    EXPECT_EQ(nodes, expected);
    EXPECT_EQ(smartState(door), ksReferenceTypes::Missing);
    EXPECT_EQ(door.core()->getSmartFile()->getLastModified(), 0u);
    EXPECT_EQ(m_shown, QStringList{missingText});

    m_files.write("door_v3.zmb", "second", 2000);
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::Outdated);
    EXPECT_EQ(m_shown, (QStringList{missingText, updatesText}));

    // Back to the recorded content: up to date, nothing to tell.
    m_files.write("door_v3.zmb", "first", 3000);
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::UpToDate);
    EXPECT_EQ(door.core()->getSmartFile()->getLastModified(), 3000u);
    EXPECT_EQ(m_shown.size(), 2);

    // The revision settings reach the monitor: a newer revision beside it.
    m_files.write("door_v12.zmb", "twelve", 1200);
    service->setRevisionExpressions({"_v(\\d+)"});
    service->setRevisionCheckEnabled(true);
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::Outdated);
    EXPECT_EQ(m_shown, (QStringList{missingText, updatesText, updatesText}));
    // Every pass lists the directory afresh.
    m_files.remove("door_v12.zmb");
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::UpToDate);

    // Without notifications the records still follow.
    service->setNotificationMode(ksReferenceTypes::NotificationMode(0));
    m_files.remove("door_v3.zmb");
    nextChange();
    EXPECT_EQ(smartState(door), ksReferenceTypes::Missing);
    EXPECT_EQ(m_shown.size(), 3);
}

TEST_F(UpdateMonitorServiceTest, EachNotificationGoesThreeSecondsAfterItCame)
{
    ksReferenceInterface* reference = ksInterfaceFactory::the().get<ksReferenceInterface>();
    ASSERT_NE(reference, nullptr);
    QSignalSpy removed(NotificationManager::getInstance(), &NotificationManager::notificationRemoved);
    reference->showMissingReferencesNotification();
    reference->showMissingReferencesNotification();
    reference->showUpdatesAvailableNotification();
    EXPECT_EQ(m_shown, (QStringList{missingText, missingText, updatesText}));
    QCoreApplication::processEvents();
    EXPECT_EQ(removed.count(), 0);
    EXPECT_TRUE(waitUntil([&] { return removed.count() == 3; }));
    EXPECT_TRUE(NotificationManager::getInstance()->notifications().isEmpty());
}

} // namespace
