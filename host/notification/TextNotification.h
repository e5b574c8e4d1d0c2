// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "notification/Notification.h"

namespace ksa {
namespace notification {

// A notification that shows one line of text.
class TextNotification : public Notification
{
    Q_OBJECT

public:
    TextNotification(const QString& context, const QString& text);
    ~TextNotification() override;

    QString text() const { return m_text; }
    QString displayText() const override { return m_text; }

private:
    QString m_text;
};

} // namespace notification
} // namespace ksa
