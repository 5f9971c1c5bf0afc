#pragma once
// The latency probe passes work between threads through Qt: the coordinator thread's start and
// end, the thread pool's queue and the event queue that carries results back. Qt's own locks are
// invisible to ThreadSanitizer unless Qt itself is built with it, so under the sanitizer these
// calls mark each hand-over; otherwise they compile to nothing.

#if defined(__SANITIZE_THREAD__)
#define HARBOLINK_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HARBOLINK_UNDER_TSAN 1
#endif
#endif

#ifdef HARBOLINK_UNDER_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace harbolink::ping {

// What the calling thread has done so far is seen by a thread that later calls takeOver(token).
inline void handOver(const void *token)
{
#ifdef HARBOLINK_UNDER_TSAN
    __tsan_release(const_cast<void *>(token));
#else
    (void)token;
#endif
}

inline void takeOver(const void *token)
{
#ifdef HARBOLINK_UNDER_TSAN
    __tsan_acquire(const_cast<void *>(token));
#else
    (void)token;
#endif
}

// The token of the results that jobs send to the coordinator object through the event queue.
inline const char resultsToken = 0;

} // namespace harbolink::ping
