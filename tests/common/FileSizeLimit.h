// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QDir>

#include <csignal>

#include <sys/resource.h>

// While it lives, writes of this process past `bytes` fail with EFBIG, as on
// a full disk: the soft limit is lowered and put back afterwards.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_before);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, m_before.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_before);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // The file descriptors this process has open now.
    static int openDescriptors()
    {
        return int(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
    }

private:
    rlimit m_before{};
    void (*m_handler)(int) = SIG_DFL;
};
