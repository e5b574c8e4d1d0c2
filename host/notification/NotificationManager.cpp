// Licensed under the MIT licence; see LICENSE.
#include "notification/NotificationManager.h"

#include "notification/TextNotification.h"

namespace ksa {
namespace notification {

NotificationManager* NotificationManager::getInstance()
{
    // Never destroyed: timers that remove notifications may still fire
    // while the program winds down.
    static NotificationManager* manager = new NotificationManager;
    return manager;
}

NotificationManager::NotificationManager()
{
    // Under the name the signals use, so queued receivers and spies can
    // handle them.
    qRegisterMetaType<Notification*>("ksa::notification::Notification*");
}

TextNotification* NotificationManager::createTextNotification(const std::string& context, const std::string& text)
{
    auto* notification = new TextNotification(QString::fromStdString(context), QString::fromStdString(text));
    m_notifications.append(notification);
    emit notificationShown(notification);
    return notification;
}

bool NotificationManager::removeNotification(Notification* notification)
{
    if (!notification || !m_notifications.removeOne(notification))
        return false;
    emit notificationRemoved(notification);
    delete notification;
    return true;
}

void NotificationManager::removeAll()
{
    while (!m_notifications.isEmpty())
        removeNotification(m_notifications.last());
}

} // namespace notification
} // namespace ksa
