// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <QMutex>

#if defined(__SANITIZE_THREAD__)
#define KS_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KS_THREAD_SANITIZER 1
#endif
#endif

#if defined(KS_THREAD_SANITIZER)
#include <sanitizer/tsan_interface.h>
#endif

// Holds a QMutex for a scope, and tells ThreadSanitizer about it. Qt takes a
// contended mutex inside its own (uninstrumented) library through a futex,
// so without the annotations TSan would not see the ordering the mutex gives
// and would report races that cannot happen.
class ksMutexLocker
{
public:
    explicit ksMutexLocker(QMutex& mutex)
        : m_mutex(mutex)
    {
        relock();
    }
    ~ksMutexLocker()
    {
        if (m_locked)
            unlock();
    }
    ksMutexLocker(const ksMutexLocker&) = delete;
    ksMutexLocker& operator=(const ksMutexLocker&) = delete;

    void unlock()
    {
#if defined(KS_THREAD_SANITIZER)
        __tsan_release(&m_mutex);
#endif
        m_mutex.unlock();
        m_locked = false;
    }

    void relock()
    {
        m_mutex.lock();
#if defined(KS_THREAD_SANITIZER)
        __tsan_acquire(&m_mutex);
#endif
        m_locked = true;
    }

private:
    QMutex& m_mutex;
    bool m_locked = false;
};
