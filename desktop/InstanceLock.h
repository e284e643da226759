#pragma once

#include "desktop/UniqueFd.h"

#include <filesystem>
#include <optional>

namespace tesseron {

// An advisory lock that a running window holds beside its results file, so another
// program can tell that the file will be written over when the window shuts down.
class InstanceLock {
public:
    // The lock file that belongs to a results file.
    static std::filesystem::path For(const std::filesystem::path& resultsFile);
    // Takes the lock, or nullopt when another holder has it (or it cannot be created).
    static std::optional<InstanceLock> TryAcquire(const std::filesystem::path& lockFile);
    // Whether someone holds the lock now.
    static bool IsHeld(const std::filesystem::path& lockFile);

private:
    explicit InstanceLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

} // namespace tesseron
