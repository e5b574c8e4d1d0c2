// Licensed under the MIT licence; see LICENSE.
#include "ksJsonErrorOutput.h"

#include "ksCommandLine.h"
#include "ksCommandSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <unistd.h>

ksJsonErrorOutput::ksJsonErrorOutput()
{
    std::fflush(stderr);
    m_capture = std::tmpfile();
    m_saved = m_capture ? ::dup(STDERR_FILENO) : -1;
    if (m_saved < 0 || ::dup2(::fileno(m_capture), STDERR_FILENO) < 0) {
        if (m_capture)
            std::fclose(m_capture);
        m_capture = nullptr;
    }
}

ksJsonErrorOutput::~ksJsonErrorOutput()
{
    finish(0);
}

void ksJsonErrorOutput::finish(int exitCode)
{
    if (!m_capture)
        return;
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
    QByteArray text;
    std::rewind(m_capture);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, m_capture)) > 0;)
        text.append(buffer, int(n));
    std::fclose(m_capture);
    m_capture = nullptr;

    QStringList lines;
    for (QString line : QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts)) {
        // The usage text that follows a usage error says nothing new here.
        if (line.startsWith(QLatin1String("usage: ")))
            break;
        if (line.startsWith(QLatin1String("talvik: ")))
            line = line.mid(8);
        lines << line;
    }
    if (lines.isEmpty())
        return;
    QJsonObject object;
    object["schema"] = ksCommandSession::Schema;
    if (exitCode >= ksCommandLine::UsageError) {
        QJsonObject error;
        error["exit"] = exitCode;
        error["message"] = lines.first();
        error["details"] = QJsonArray::fromStringList(lines.mid(1));
        object["error"] = error;
    } else {
        object["messages"] = QJsonArray::fromStringList(lines);
    }
    std::fprintf(stderr, "%s", QJsonDocument(object).toJson(QJsonDocument::Indented).constData());
}
