// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <cstdio>

// With --json, what a command writes to standard error becomes one JSON
// object: {"schema": 1, "error": {"exit": N, "message": ..., "details": [...]}}
// when the command fails (exit 3 or more), {"schema": 1, "messages": [...]}
// otherwise. Commands keep writing their messages as text; the text goes to
// a temporary file until the command ends.
class ksJsonErrorOutput
{
public:
    ksJsonErrorOutput();
    ~ksJsonErrorOutput();

    ksJsonErrorOutput(const ksJsonErrorOutput&) = delete;
    ksJsonErrorOutput& operator=(const ksJsonErrorOutput&) = delete;

    // Puts standard error back and writes the object, when there is text.
    void finish(int exitCode);

private:
    std::FILE* m_capture = nullptr;
    int m_saved = -1;
};
