#pragma once

#include "desktop/NonCopyable.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tesseron::test {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes away. Tests never touch the user's real files.
class TempDir : NonCopyable {
public:
    TempDir();
    ~TempDir();

    const std::filesystem::path& path() const noexcept { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // Writes `content` byte for byte and returns the file's path.
    std::filesystem::path Write(std::string_view name, std::string_view content) const;

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);

} // namespace tesseron::test
