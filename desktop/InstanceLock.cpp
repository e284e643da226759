#include "desktop/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <thread>

namespace tesseron {

std::filesystem::path InstanceLock::For(const std::filesystem::path& resultsFile) {
    std::error_code ec;
    // One lock for every spelling of the same file.
    auto canonical = std::filesystem::weakly_canonical(resultsFile, ec);
    if (ec) canonical = std::filesystem::absolute(resultsFile, ec);
    canonical += ".lock";
    return canonical;
}

std::optional<InstanceLock> InstanceLock::TryAcquire(const std::filesystem::path& lockFile) {
    UniqueFd fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
    return InstanceLock(std::move(fd));
}

std::optional<InstanceLock> InstanceLock::Acquire(const std::filesystem::path& lockFile,
                                                  std::chrono::milliseconds wait) {
    UniqueFd fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd)
        throw std::system_error(errno, std::generic_category(),
                                "Cannot open the lock file " + lockFile.string());
    // Polled rather than blocking, so the wait has an end without any signal tricks.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return InstanceLock(std::move(fd));
        if (errno != EWOULDBLOCK && errno != EINTR)
            throw std::system_error(errno, std::generic_category(),
                                    "Cannot lock " + lockFile.string());
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool InstanceLock::IsHeld(const std::filesystem::path& lockFile) {
    UniqueFd fd(::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false; // no lock file: nobody has ever held it
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return false; // released when fd closes
    return errno == EWOULDBLOCK;
}

} // namespace tesseron
