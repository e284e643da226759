#pragma once

#include "desktop/AtomicFile.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tesseron {

// A refused write: "Unable to write to <path>".
class ProfileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An INI ("profile") file read and written line by line, the way settings and language
// files have always been kept:
// - "[Section]" lines open sections; "key=value" lines inside them hold values;
// - section and key names match without regard to case; the first section of a name and
//   the first key of a name in it count;
// - blanks around names and values are dropped; a value in double quotes loses them;
//   values read are cut to 2047 characters (UTF-8 code points, never inside one);
// - a write updates the key in its place, appends a new key at the end of its section and
//   a new section at the end of the file, and keeps every other line as it was;
// - every write replaces the file atomically; a refused write raises ProfileWriteError.
// A missing or unreadable file reads as empty, but a file that exists and cannot be read
// is never written over: every write to it is refused. The file is re-read when it
// changes on disk.
class ProfileFile {
public:
    static constexpr std::size_t kMaxValueLength = 2047;

    // `mode`: permission bits for a file this object creates, or, with FileModeRule::Always,
    // for the file every time it is written (the settings file, which holds the proxy
    // password, is kept readable by its owner only).
    explicit ProfileFile(std::filesystem::path path, std::optional<mode_t> mode = std::nullopt,
                         FileModeRule modeRule = FileModeRule::KeepExisting);

    const std::filesystem::path& path() const noexcept { return path_; }

    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    // The key names of a section in file order, as written; a key written twice is listed
    // twice (its value is still the first one's).
    std::vector<std::string> ReadSectionKeys(std::string_view section) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

private:
    struct Parsed;
    std::shared_ptr<const Parsed> Current() const;

    std::filesystem::path path_;
    std::optional<mode_t> mode_;
    FileModeRule modeRule_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<const Parsed> cache_;
};

// Integer text as profile files hold it: optional sign and decimal digits, or "0x"/"0X"
// followed by up to eight hexadecimal digits (a 32-bit pattern, so 0xFF000008 is
// negative). Anything else, or a value out of range, gives nullopt.
std::optional<int32_t> ParseProfileInteger(std::string_view text);

} // namespace tesseron
