// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records the messages of Qt's critical log while it lives (one at a time).
class CriticalRecorder
{
public:
    CriticalRecorder()
    {
        s_active = this;
        m_previous = qInstallMessageHandler(&CriticalRecorder::handle);
    }
    ~CriticalRecorder()
    {
        qInstallMessageHandler(m_previous);
        s_active = nullptr;
    }

    CriticalRecorder(const CriticalRecorder&) = delete;
    CriticalRecorder& operator=(const CriticalRecorder&) = delete;

    QStringList messages() const { return m_messages; }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& message)
    {
        if (type == QtCriticalMsg && s_active)
            s_active->m_messages.append(message);
    }

    static inline CriticalRecorder* s_active = nullptr;
    QtMessageHandler m_previous = nullptr;
    QStringList m_messages;
};
