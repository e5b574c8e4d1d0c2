// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QList>
#include <QObject>

#include <string>

namespace ksa {
namespace notification {

class Notification;
class TextNotification;

// Keeps the notifications that are shown now. The program that displays
// them listens to notificationShown and notificationRemoved; nothing is
// displayed by the manager itself. Main thread only.
class NotificationManager : public QObject
{
    Q_OBJECT

public:
    static NotificationManager* getInstance();

    // Shows a text notification (UTF-8 texts) and returns it; the manager
    // owns it until removeNotification.
    TextNotification* createTextNotification(const std::string& context, const std::string& text);

    // Takes the notification away and destroys it, after notificationRemoved
    // has been emitted. A pointer that is not shown now (already removed,
    // or null) is ignored and gives false.
    bool removeNotification(Notification* notification);
    void removeAll();

    // Shown notifications, oldest first.
    QList<Notification*> notifications() const { return m_notifications; }

signals:
    // Emitted directly; a receiver must not keep the pointer beyond
    // notificationRemoved.
    void notificationShown(ksa::notification::Notification* notification);
    void notificationRemoved(ksa::notification::Notification* notification);

private:
    NotificationManager();

    QList<Notification*> m_notifications;
};

} // namespace notification
} // namespace ksa
