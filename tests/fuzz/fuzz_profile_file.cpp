// The settings layer on any file content. The first input line names a section, a key and
// a value ("section=key=value"); the rest is the file. Reads must not fail, and a value
// written with plain names must read back.

#include "desktop/ProfileFile.h"
#include "tests/fuzz/FuzzInput.h"

#include <algorithm>
#include <cctype>

using namespace tesseron;

namespace {

bool Plain(std::string_view s) {
    return !s.empty() && s.size() < 64 &&
           std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    auto [ops, content] = fuzz::SplitFirstLine(in);
    const auto eq1 = ops.find('=');
    const auto section = ops.substr(0, eq1);
    const auto rest = eq1 == std::string_view::npos ? std::string_view{} : ops.substr(eq1 + 1);
    const auto eq2 = rest.find('=');
    const auto key = rest.substr(0, eq2);
    const auto value = eq2 == std::string_view::npos ? std::string_view{} : rest.substr(eq2 + 1);

    static const fuzz::ScratchFile scratch("profile.ini");
    const auto& path = scratch.path;
    fuzz::WriteScratch(path, content);
    ProfileFile file(path);
    (void)file.Read(section, key);
    (void)file.ReadInteger(section, key, 7);
    for (const auto& k : file.ReadSectionKeys(section))
        (void)file.Read(section, k);
    (void)ParseProfileInteger(value);

    file.WriteString(section, key, value);
    if (Plain(section) && Plain(key) && Plain(value)) {
        FUZZ_CHECK(file.Read(section, key) == std::string(value));
        // What was there stays readable after the write; a second write is a no-op.
        ProfileFile again(path);
        FUZZ_CHECK(again.Read(section, key) == std::string(value));
    }
    return 0;
}
