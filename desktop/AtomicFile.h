#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <sys/types.h>

namespace tesseron {

class FileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes `content` to a temporary file beside `path`, flushes it to disk and renames it
// into place, so readers see either the old file or the new one, never a part. A file
// that already exists keeps its permission bits; a new one gets `newFileMode` (less the
// umask), or 0666 less the umask. A symbolic link is followed. Throws FileWriteError.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::optional<mode_t> newFileMode = std::nullopt);

// Reads a whole file. Returns false when it does not exist or cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& content);

} // namespace tesseron
