// Licensed under the MIT licence; see LICENSE.
#include "utils/ksLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

namespace {

struct Entry
{
    ksLog::Listener listener;
    bool active = true;
};

struct Listeners
{
    // Recursive: a listener may log or unsubscribe from inside its call.
    // Holding it while calling also means that an unsubscribe on another
    // thread waits for a running call, so no call follows an unsubscribe.
    std::recursive_mutex mutex;
    std::vector<std::shared_ptr<Entry>> entries;
};

Listeners& listeners()
{
    // Never destroyed: modules may log from their exit-time destructors.
    static Listeners* instance = new Listeners;
    return *instance;
}

std::atomic<bool> g_echo{true};

std::string format(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

} // namespace

void ksLog::error(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string text = format(fmt, args);
    va_end(args);
    write(Level::Error, text);
}

void ksLog::warning(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string text = format(fmt, args);
    va_end(args);
    write(Level::Warning, text);
}

void ksLog::info(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string text = format(fmt, args);
    va_end(args);
    write(Level::Info, text);
}

void ksLog::write(Level level, const std::string& text)
{
    if (g_echo.load(std::memory_order_relaxed)) {
        // One call per line keeps lines of concurrent writers apart.
        const std::string line = std::string(levelName(level)) + ": " + text + "\n";
        std::fputs(line.c_str(), stderr);
    }

    Listeners& all = listeners();
    std::lock_guard<std::recursive_mutex> lock(all.mutex);
    // A snapshot, so that listeners added or removed during the calls do not
    // disturb the iteration; removed ones are skipped through their flag.
    const std::vector<std::shared_ptr<Entry>> snapshot = all.entries;
    for (const auto& entry : snapshot) {
        if (entry->active)
            entry->listener(level, text);
    }
}

ksSubscription ksLog::subscribe(Listener listener)
{
    auto entry = std::make_shared<Entry>();
    entry->listener = std::move(listener);
    {
        Listeners& all = listeners();
        std::lock_guard<std::recursive_mutex> lock(all.mutex);
        all.entries.push_back(entry);
    }
    std::weak_ptr<Entry> weak = entry;
    return ksSubscription([weak] {
        auto entry = weak.lock();
        if (!entry)
            return;
        Listeners& all = listeners();
        std::lock_guard<std::recursive_mutex> lock(all.mutex);
        entry->active = false;
        for (auto it = all.entries.begin(); it != all.entries.end(); ++it) {
            if (*it == entry) {
                all.entries.erase(it);
                break;
            }
        }
    });
}

void ksLog::setEchoToStandardError(bool echo)
{
    g_echo.store(echo, std::memory_order_relaxed);
}

const char* ksLog::levelName(Level level)
{
    switch (level) {
    case Level::Info:
        return "Info";
    case Level::Warning:
        return "Warning";
    case Level::Error:
        return "Error";
    }
    return "Log";
}
