// Licensed under the MIT licence; see LICENSE.
#include "interface/ksReferenceNotification.h"

#include "notification/NotificationManager.h"
#include "notification/TextNotification.h"

#include <QCoreApplication>
#include <QTimer>

void ksReferenceNotification::showMissingReferences()
{
    show(QT_TRANSLATE_NOOP("ksForegroundTextContext", "Reference(s) missing, see Reference Editor."));
}

void ksReferenceNotification::showUpdatesAvailable()
{
    show(QT_TRANSLATE_NOOP("ksForegroundTextContext", "Reference update(s) available, see Reference Editor."));
}

void ksReferenceNotification::show(const char* text)
{
    using ksa::notification::NotificationManager;
    const QString translated = QCoreApplication::translate("ksForegroundTextContext", text);
    NotificationManager* manager = NotificationManager::getInstance();
    ksa::notification::TextNotification* notification =
        manager->createTextNotification("tool", translated.toUtf8().toStdString());
    // No context object: the manager outlives the module, and it ignores a
    // notification that is gone already (taken down at shutdown).
    QTimer::singleShot(lifetime, Qt::CoarseTimer, [manager, notification] { manager->removeNotification(notification); });
}
