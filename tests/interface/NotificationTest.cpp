// Licensed under the MIT licence; see LICENSE.
// The notifications after an update check: their texts, and how long each
// one stays.
#include "InterfaceTestSupport.h"

#include "notification/Notification.h"
#include "notification/NotificationManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>

#include <functional>
#include <map>

using interfacetest::refs;
using ksa::notification::Notification;
using ksa::notification::NotificationManager;

namespace {

// Two notifications a second apart: each stays 3 s from its own creation,
// the first is not taken away early by the second. The timer is coarse, so
// it may fire up to 5% early; the two clocks' millisecond rounding comes on
// top of that.
TEST(Notifications, EachStaysThreeSecondsFromItsOwnCreation)
{
    NotificationManager* manager = NotificationManager::getInstance();
    manager->removeAll();
    QElapsedTimer clock;
    std::map<QString, qint64> shown, removed;
    QObject receiver;
    QObject::connect(manager, &NotificationManager::notificationShown, &receiver,
                     [&](Notification* n) { shown[n->displayText()] = clock.elapsed(); });
    QObject::connect(manager, &NotificationManager::notificationRemoved, &receiver,
                     [&](Notification* n) { removed[n->displayText()] = clock.elapsed(); });
    const auto runUntil = [&](const std::function<bool()>& done) {
        while (!done() && clock.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(5);
        }
    };

    clock.start();
    refs().showMissingReferencesNotification();
    runUntil([&] { return clock.elapsed() >= 1000; });
    refs().showUpdatesAvailableNotification();
    runUntil([&] { return removed.size() == 2; });

    const QString missing = "Reference(s) missing, see Reference Editor.";
    const QString updates = "Reference update(s) available, see Reference Editor.";
    ASSERT_EQ(shown.size(), 2u);
    ASSERT_EQ(removed.size(), 2u) << "each goes by itself";
    for (const QString& text : {missing, updates}) {
        SCOPED_TRACE(text.toStdString());
        const qint64 lifetime = removed[text] - shown[text];
        EXPECT_GE(lifetime, 2840);
        EXPECT_LT(lifetime, 6000) << "a loaded machine may be late, not this late";
    }
    EXPECT_TRUE(manager->notifications().isEmpty());
}

} // namespace
