// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QFrame>
#include <QHash>

class QVBoxLayout;
class QPushButton;

namespace ksa {
namespace notification {
class Notification;
}
} // namespace ksa

// Shows the host's notifications in the window, one line each, for as long
// as the notification manager keeps them (the module removes its own after
// 3000 ms); hidden while there are none. Not modal: the window stays usable.
class ksNotificationBanner : public QFrame
{
    Q_OBJECT

public:
    explicit ksNotificationBanner(QWidget* parent = nullptr);

    // The texts shown now, oldest first.
    QStringList texts() const;

signals:
    // The user clicked the line of a notification with this text.
    void activated(const QString& text);

private:
    void addLine(ksa::notification::Notification* notification);
    void removeLine(ksa::notification::Notification* notification);

    QVBoxLayout* m_lines;
    QHash<ksa::notification::Notification*, QPushButton*> m_shown;
};
