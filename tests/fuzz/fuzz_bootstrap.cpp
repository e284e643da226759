// The RDAP bootstrap reader. The first input byte picks the table, the next sixteen give an
// address (and AS number) to look up with a prefix length, the rest is the file.

#include "serverdb/RegistryBlocks.h"
#include "tests/fuzz/FuzzInput.h"

#include <algorithm>
#include <array>
#include <cstring>

using namespace tesseron;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 18) return 0;
    const unsigned pick = data[0] % 4;
    const int prefix = data[1];
    std::array<std::uint8_t, 16> address{};
    std::memcpy(address.data(), data + 2, address.size());
    const std::string_view json(reinterpret_cast<const char*>(data + 18), size - 18);

    RegistryBlocks blocks;
    if (pick == 3) {
        (void)blocks.LoadDomains(json);
        const std::string name(reinterpret_cast<const char*>(address.data()), address.size());
        (void)blocks.FindDomain(name);
        (void)blocks.FindDomain("example.co.uk.");
        return 0;
    }
    const auto table = static_cast<RegistryBlocks::Table>(pick);
    const bool loaded = blocks.Load(table, json).empty();
    FUZZ_CHECK(loaded || blocks.Size(table) == 0);
    std::array<std::uint8_t, 4> v4{};
    std::copy_n(address.begin(), 4, v4.begin());
    std::uint32_t asn = 0;
    std::memcpy(&asn, address.data(), sizeof asn);
    for (const auto& match : {blocks.FindIPv4(v4, prefix % 33),
                              blocks.FindIPv6(address, prefix % 129), blocks.FindAsNumber(asn)}) {
        if (!match) continue;
        FUZZ_CHECK(!match->rdapUrls.empty());
        FUZZ_CHECK(match->whoisServer == RirWhoisServer(match->rir));
    }
    // A second file replaces the first one; a faulty one leaves it.
    const auto before = blocks.Size(table);
    if (!blocks.Load(table, "{").empty()) FUZZ_CHECK(blocks.Size(table) == before);
    return 0;
}
