// Licensed under the MIT licence; see LICENSE.
#include "notification/TextNotification.h"

namespace ksa {
namespace notification {

TextNotification::TextNotification(const QString& context, const QString& text)
    : Notification(context)
    , m_text(text)
{
}

TextNotification::~TextNotification() = default;

} // namespace notification
} // namespace ksa
