// Licensed under the MIT licence; see LICENSE.
#include "ksNotificationBanner.h"

#include "notification/Notification.h"
#include "notification/NotificationManager.h"

#include <QPushButton>
#include <QVBoxLayout>

using ksa::notification::Notification;
using ksa::notification::NotificationManager;

ksNotificationBanner::ksNotificationBanner(QWidget* parent)
    : QFrame(parent)
    , m_lines(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("notificationBanner"));
    setFrameShape(QFrame::StyledPanel);
    setStyleSheet(QStringLiteral("#notificationBanner { background: #fff4d6; border: 1px solid #f0b429; }"
                                 "#notificationBanner QPushButton { border: none; text-align: left; padding: 4px; }"));
    m_lines->setContentsMargins(4, 2, 4, 2);
    m_lines->setSpacing(0);
    NotificationManager* manager = NotificationManager::getInstance();
    connect(manager, &NotificationManager::notificationShown, this, &ksNotificationBanner::addLine);
    connect(manager, &NotificationManager::notificationRemoved, this, &ksNotificationBanner::removeLine);
    for (Notification* notification : manager->notifications())
        addLine(notification);
    setVisible(!m_shown.isEmpty());
}

QStringList ksNotificationBanner::texts() const
{
    QStringList texts;
    for (int i = 0; i < m_lines->count(); ++i)
        if (auto* line = qobject_cast<QPushButton*>(m_lines->itemAt(i)->widget()))
            texts << line->text();
    return texts;
}

void ksNotificationBanner::addLine(Notification* notification)
{
    auto* line = new QPushButton(notification->displayText(), this);
    line->setFlat(true);
    line->setCursor(Qt::PointingHandCursor);
    line->setToolTip(tr("Select the references this is about"));
    const QString text = notification->displayText();
    connect(line, &QPushButton::clicked, this, [this, text] { emit activated(text); });
    m_lines->addWidget(line);
    m_shown.insert(notification, line);
    setVisible(true);
}

void ksNotificationBanner::removeLine(Notification* notification)
{
    // The manager deletes the notification right after this signal.
    QPushButton* line = m_shown.take(notification);
    if (!line)
        return;
    m_lines->removeWidget(line);
    line->deleteLater();
    setVisible(!m_shown.isEmpty());
}
