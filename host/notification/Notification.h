// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

namespace ksa {
namespace notification {

// A message shown to the user for a while. The notification manager creates
// and owns every notification; holders keep plain pointers and hand them
// back to removeNotification.
class Notification : public QObject
{
    Q_OBJECT

public:
    ~Notification() override;

    // What the notification belongs to ("tool", a module name, ...); the
    // program that shows it may group or style by it.
    QString context() const { return m_context; }
    QDateTime created() const { return m_created; }
    // Text to show; subclasses decide what they carry.
    virtual QString displayText() const = 0;

protected:
    explicit Notification(const QString& context);

private:
    QString m_context;
    QDateTime m_created;
};

} // namespace notification
} // namespace ksa
