// Licensed under the MIT licence; see LICENSE.
#include "notification/Notification.h"

namespace ksa {
namespace notification {

Notification::Notification(const QString& context)
    : m_context(context)
    , m_created(QDateTime::currentDateTimeUtc())
{
}

Notification::~Notification() = default;

} // namespace notification
} // namespace ksa
