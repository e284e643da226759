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

// Which permission bits a written file gets.
enum class FileModeRule {
    KeepExisting, // an existing file keeps its bits; a new one gets the requested mode
    Always,       // the requested mode, exactly, whether the file is new or not
};

// Refuses a write over `path` that must not happen: a symbolic link in its place (it could
// redirect the write to another user's choice of file) or a file the user has no write
// permission for. A missing file passes. Throws FileWriteError.
void CheckReplaceable(const std::filesystem::path& path);

// Writes `content` to a temporary file beside `path`, flushes it to disk and renames it
// into place, so readers see either the old file or the new one, never a part. A new file
// gets `mode` (less the umask; 0666 when not given); an existing one keeps its bits unless
// `rule` says Always. Refused as CheckReplaceable says. Throws FileWriteError.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::optional<mode_t> mode = std::nullopt,
                         FileModeRule rule = FileModeRule::KeepExisting);

// Reads a whole file. Returns false, with errno set, when it does not exist, is no regular
// file (EISDIR) or cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& content);

} // namespace tesseron
