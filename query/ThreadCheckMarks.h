#pragma once

// Posting a call through Qt hands it over on a lock ThreadSanitizer cannot see in a Qt that
// was not built with it. In a ThreadSanitizer build these marks tell it what a post is:
// everything before MarkHandOver on the posting thread happens before MarkTakeOver on the
// thread the call runs on; Qt's own traffic in between (IgnoreQtBegin/End around the post)
// is left out. In other builds they are nothing.

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace tesseron {

inline void MarkHandOver([[maybe_unused]] void* at) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(at);
#endif
}
inline void MarkTakeOver([[maybe_unused]] void* at) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(at);
#endif
}
inline void IgnoreQtBegin() {
#if defined(__SANITIZE_THREAD__)
    __tsan_ignore_thread_begin();
#endif
}
inline void IgnoreQtEnd() {
#if defined(__SANITIZE_THREAD__)
    __tsan_ignore_thread_end();
#endif
}

} // namespace tesseron
