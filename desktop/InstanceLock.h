#pragma once

#include "desktop/UniqueFd.h"

#include <chrono>
#include <filesystem>
#include <optional>

namespace tesseron {

// An advisory lock beside a results file: whoever may write the file holds it, so there is
// one writer at a time (a running window, or a tesseron-cli run that stores its answers).
class InstanceLock {
public:
    // The lock file that belongs to a results file.
    static std::filesystem::path For(const std::filesystem::path& resultsFile);
    // Takes the lock, or nullopt when another holder has it (or it cannot be created).
    static std::optional<InstanceLock> TryAcquire(const std::filesystem::path& lockFile);
    // Takes the lock, waiting up to `wait` for another holder to let it go; nullopt when the
    // wait ran out. Throws std::system_error when the lock file cannot be opened, since no
    // wait would help then.
    static std::optional<InstanceLock> Acquire(const std::filesystem::path& lockFile,
                                               std::chrono::milliseconds wait);
    // Whether someone holds the lock now.
    static bool IsHeld(const std::filesystem::path& lockFile);

private:
    explicit InstanceLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

} // namespace tesseron
