// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "utils/ksLog.h"

#include <mutex>
#include <string>
#include <vector>

// Records what the host log receives while it lives.
class LogRecorder
{
public:
    struct Line
    {
        ksLog::Level level;
        std::string text;
    };

    LogRecorder()
        : m_subscription(ksLog::subscribe([this](ksLog::Level level, const std::string& text) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(Line{level, text});
        }))
    {
    }

    std::vector<Line> lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

    // Texts that start with the prefix, in order.
    std::vector<std::string> texts(const std::string& prefix = std::string()) const
    {
        std::vector<std::string> result;
        for (const Line& line : lines()) {
            if (line.text.compare(0, prefix.size(), prefix) == 0)
                result.push_back(line.text);
        }
        return result;
    }

    // Texts of the errors and warnings, in order.
    std::vector<std::string> problems() const
    {
        std::vector<std::string> result;
        for (const Line& line : lines()) {
            if (line.level != ksLog::Level::Info)
                result.push_back(line.text);
        }
        return result;
    }

    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
    ksSubscription m_subscription;
};
