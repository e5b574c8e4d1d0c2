// Licensed under the MIT licence; see LICENSE.
#include "notification/NotificationManager.h"
#include "notification/TextNotification.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

using ksa::notification::Notification;
using ksa::notification::NotificationManager;
using ksa::notification::TextNotification;

class Notifications : public ::testing::Test
{
protected:
    void TearDown() override { manager()->removeAll(); }
    static NotificationManager* manager() { return NotificationManager::getInstance(); }
};

TEST_F(Notifications, CreatedNotificationIsShownUntilRemoved)
{
    QSignalSpy shown(manager(), &NotificationManager::notificationShown);
    QSignalSpy removed(manager(), &NotificationManager::notificationRemoved);

    TextNotification* notification =
        manager()->createTextNotification("tool", "Reference(s) missing, see Reference Editor.");
    ASSERT_NE(notification, nullptr);
    EXPECT_EQ(notification->context(), QStringLiteral("tool"));
    EXPECT_EQ(notification->text(), QStringLiteral("Reference(s) missing, see Reference Editor."));
    ASSERT_EQ(shown.count(), 1);
    EXPECT_EQ(shown[0][0].value<Notification*>(), notification);
    EXPECT_EQ(manager()->notifications(), QList<Notification*>{notification});

    // The receiver may still read the notification while it is removed.
    QString seenText;
    auto connection = QObject::connect(manager(), &NotificationManager::notificationRemoved,
                                       [&](Notification* n) { seenText = n->displayText(); });
    EXPECT_TRUE(manager()->removeNotification(notification));
    QObject::disconnect(connection);
    EXPECT_EQ(seenText, QStringLiteral("Reference(s) missing, see Reference Editor."));
    EXPECT_EQ(removed.count(), 1);
    EXPECT_TRUE(manager()->notifications().isEmpty());

    EXPECT_FALSE(manager()->removeNotification(notification));
    EXPECT_FALSE(manager()->removeNotification(nullptr));
    EXPECT_EQ(removed.count(), 1);

    // Each notification is removed on its own.
    auto* first = manager()->createTextNotification("tool", "first");
    auto* second = manager()->createTextNotification("tool", u8"Größe geändert");
    EXPECT_EQ(second->text(), QString::fromUtf8(u8"Größe geändert"));
    EXPECT_TRUE(manager()->removeNotification(first));
    EXPECT_EQ(manager()->notifications(), QList<Notification*>{second});
}

} // namespace
