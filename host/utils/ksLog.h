// Licensed under the MIT licence; see LICENSE.
#pragma once

#include "utils/ksSubscription.h"

#include <functional>
#include <string>

#if defined(__GNUC__)
#define KS_PRINTF_FORMAT(formatIndex, firstArg) __attribute__((format(printf, formatIndex, firstArg)))
#else
#define KS_PRINTF_FORMAT(formatIndex, firstArg)
#endif

// The host log. Every message goes to standard error, one line each, and to
// every listener, so that the host program and tests see what modules report.
// Callable from any thread. Texts are UTF-8; pass variable text through "%s"
// rather than as the format, since it may hold '%'.
class ksLog
{
public:
    enum class Level { Info, Warning, Error };
    using Listener = std::function<void(Level level, const std::string& text)>;

    static void error(const char* format, ...) KS_PRINTF_FORMAT(1, 2);
    static void warning(const char* format, ...) KS_PRINTF_FORMAT(1, 2);
    static void info(const char* format, ...) KS_PRINTF_FORMAT(1, 2);
    static void write(Level level, const std::string& text);

    // The listener is called on the thread that logs, after the line went to
    // standard error; it is not called again once the subscription has ended
    // (ending it from inside a call is allowed).
    static ksSubscription subscribe(Listener listener);

    // Standard error output can be switched off, e.g. for a noisy benchmark;
    // listeners are called either way.
    static void setEchoToStandardError(bool echo);

    static const char* levelName(Level level);
};
