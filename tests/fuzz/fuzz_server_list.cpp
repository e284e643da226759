// The server-list reader, the zone look-up and the masks. The first input line holds the
// names to look up (blank-separated; each is also tried as a mask); the rest is the file,
// read from memory and from a file.

#include "serverdb/FileMask.h"
#include "serverdb/uDomainList.h"
#include "tests/fuzz/FuzzInput.h"

#include <vector>

using namespace tesseron;

namespace {

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start <= line.size() && words.size() < 8) {
        auto end = line.find(' ', start);
        if (end == std::string_view::npos) end = line.size();
        words.emplace_back(line.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const auto [first, file] = fuzz::SplitFirstLine(in);
    auto names = Words(first);
    names.emplace_back(kIPAddressZoneText);
    names.emplace_back(kASNumberZoneText);

    TDomainCollection fromMemory;
    try {
        fromMemory.LoadFromBuffer(file.data(), file.size());
    } catch (const ServerListError&) {
    }
    for (const auto& name : names) {
        try {
            if (auto* servers = fromMemory.FindServers(name))
                for (int i = 0; i < servers->Count(); ++i)
                    (void)(*servers)[i].Address;
        } catch (const InvalidMaskError&) {
        }
        try {
            const FileMask mask(name);
            for (const auto& text : names)
                (void)mask.Matches(text);
        } catch (const InvalidMaskError&) {
        }
    }

    // The file path reads the same bytes the same way.
    static const fuzz::ScratchFile scratch("whois.xml");
    const auto& path = scratch.path;
    fuzz::WriteScratch(path, file);
    TDomainCollection fromFile;
    try {
        fromFile.LoadFromFile(path.string());
    } catch (const ServerListError&) {
    }
    FUZZ_CHECK(fromFile.Count() == fromMemory.Count());
    return 0;
}
