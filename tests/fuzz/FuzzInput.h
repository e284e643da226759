#pragma once

// Small helpers the harnesses share: cutting the input into parts, a scratch file of its
// own per process, and a check that stops the run with a message when a property fails.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace tesseron::fuzz {

// The text before the first line feed and the rest after it; no line feed: all of it is
// the first part.
inline std::pair<std::string_view, std::string_view> SplitFirstLine(std::string_view in) {
    const auto nl = in.find('\n');
    if (nl == std::string_view::npos) return {in, {}};
    return {in.substr(0, nl), in.substr(nl + 1)};
}

// A file named after this process, written anew for each input and removed at exit: in
// memory when the machine has a tmpfs, since every write of the readers under test ends
// in an fsync.
struct ScratchFile {
    std::filesystem::path path;
    explicit ScratchFile(std::string_view name) {
        std::error_code ec;
        const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm", ec)
                                              ? std::filesystem::path("/dev/shm")
                                              : std::filesystem::temp_directory_path();
        path = dir / ("tesseron-fuzz-" + std::to_string(::getpid()) + "-" + std::string(name));
    }
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

inline void WriteScratch(const std::filesystem::path& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) ::tesseron::fuzz::Fail(#cond);                                                \
    } while (0)

} // namespace tesseron::fuzz
