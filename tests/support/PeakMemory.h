#pragma once

// How much a piece of work raises the peak resident size, measured in a forked child so
// the test process's own history does not count.

#include <cstdint>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tesseron::test {

// A sanitizer keeps freed memory in quarantine and adds its own to every allocation, so
// resident sizes say little about the code under test there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kResidentSizeMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kResidentSizeMeaningful = false;
#else
inline constexpr bool kResidentSizeMeaningful = true;
#endif
#else
inline constexpr bool kResidentSizeMeaningful = true;
#endif

// The growth of the child's largest resident size while `work` runs, in bytes; -1 when
// the child failed (an exception or a signal).
inline std::int64_t PeakMemoryGrowth(const std::function<void()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        std::int64_t growth = -1;
        try {
            work();
            ::getrusage(RUSAGE_SELF, &after);
            growth = (static_cast<std::int64_t>(after.ru_maxrss) - before.ru_maxrss) * 1024;
        } catch (...) {
        }
        (void)!::write(fds[1], &growth, sizeof growth);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::int64_t growth = -1;
    if (pid < 0 || ::read(fds[0], &growth, sizeof growth) != sizeof growth) growth = -1;
    ::close(fds[0]);
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    return growth;
}

} // namespace tesseron::test
