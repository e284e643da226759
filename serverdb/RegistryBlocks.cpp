#include "serverdb/RegistryBlocks.h"

#include <algorithm>
#include <arpa/inet.h>
#include <fstream>
#include <simdjson.h>
#include <sstream>

namespace tesseron {
namespace {

using Key = RegistryBlocks::Key;
using Table = RegistryBlocks::Table;

// The three block tables in Table's order, then the zones.
constexpr std::array<const char*, 4> kFileNames = {"ipv4.json", "ipv6.json", "asn.json",
                                                   "dns.json"};

Key KeyOf(const std::uint8_t* bytes, int size) {
    Key k;
    for (int i = 0; i < size; ++i) {
        std::uint64_t& half = (size == 16 && i < 8) ? k.hi : k.lo;
        half = (half << 8) | bytes[i];
    }
    return k;
}

// The last key of the network of `prefix` bits that starts at `first` (`bits` wide).
Key LastOf(Key first, int prefix, int bits) {
    const int host = bits - prefix; // bits set in the last address
    const auto ones = [](int n) { return n >= 64 ? ~0ull : (n <= 0 ? 0ull : (1ull << n) - 1); };
    first.lo |= ones(host);
    first.hi |= ones(host - 64);
    return first;
}

// The bits beyond a prefix of `prefix` bits of a `bits`-wide key.
Key HostMask(int prefix, int bits) {
    return LastOf(Key{}, prefix, bits);
}

// The network of `prefix` bits holding `key`, as its first and last key.
std::pair<Key, Key> NetworkOf(Key key, int prefix, int bits) {
    const Key host = HostMask(prefix, bits);
    key.hi &= ~host.hi;
    key.lo &= ~host.lo;
    return {key, LastOf(key, prefix, bits)};
}

std::optional<std::uint64_t> Decimal(std::string_view s, std::uint64_t max) {
    if (s.empty() || s.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > max) return std::nullopt;
    return v;
}

// One block text of the table's kind as its first and last key.
std::optional<std::pair<Key, Key>> ParseBlock(Table table, std::string_view text) {
    if (table == Table::Asn) {
        const auto dash = text.find('-');
        const auto from = Decimal(text.substr(0, dash), 0xffffffffu);
        const auto to =
            dash == std::string_view::npos ? from : Decimal(text.substr(dash + 1), 0xffffffffu);
        if (!from || !to || *to < *from) return std::nullopt;
        return std::pair{Key{0, *from}, Key{0, *to}};
    }
    const bool v6 = table == Table::IPv6;
    const int bits = v6 ? 128 : 32;
    const auto slash = text.find('/');
    if (slash == std::string_view::npos || slash >= INET6_ADDRSTRLEN) return std::nullopt;
    const auto prefix = Decimal(text.substr(slash + 1), static_cast<std::uint64_t>(bits));
    if (!prefix) return std::nullopt;
    std::uint8_t bytes[16] = {};
    const std::string host(text.substr(0, slash));
    if (inet_pton(v6 ? AF_INET6 : AF_INET, host.c_str(), bytes) != 1) return std::nullopt;
    const Key first = KeyOf(bytes, v6 ? 16 : 4);
    const Key last = LastOf(first, static_cast<int>(*prefix), bits);
    // Bits beyond the prefix would make the block's first address a guess.
    const Key masked = HostMask(static_cast<int>(*prefix), bits);
    if ((first.lo & masked.lo) != 0 || (first.hi & masked.hi) != 0) return std::nullopt;
    return std::pair{first, last};
}

// Sorts the blocks, outer before inner, and links each to its nearest enclosing block.
void Link(std::vector<RegistryBlocks::Block>& blocks) {
    std::stable_sort(blocks.begin(), blocks.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.last > b.last;
    });
    std::vector<int> open;
    for (int i = 0; i < static_cast<int>(blocks.size()); ++i) {
        while (!open.empty() && blocks[open.back()].last < blocks[i].first)
            open.pop_back();
        blocks[i].parent = open.empty() ? -1 : open.back();
        open.push_back(i);
    }
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Walks the "services" list of a bootstrap file: `each(where, keys, bases)` for every
// service, its keys (blocks or zones) still unread and its base URLs https first. The
// first fault, from the walk or from `each`, ends it.
template <typename Each> std::string ForEachService(std::string_view json, Each&& each) {
    simdjson::dom::parser parser;
    simdjson::dom::element doc;
    if (const auto e = parser.parse(json.data(), json.size()).get(doc))
        return std::string("not valid JSON (") + simdjson::error_message(e) + ")";
    simdjson::dom::array services;
    if (doc["services"].get_array().get(services)) return "no \"services\" list";
    int index = 0;
    for (const simdjson::dom::element service : services) {
        const std::string where = "service " + std::to_string(++index) + ": ";
        simdjson::dom::array pair, keys, urls;
        if (service.get_array().get(pair) || pair.size() < 2 || pair.at(0).get_array().get(keys) ||
            pair.at(1).get_array().get(urls))
            return where + "not a pair of lists (blocks, base URLs)";
        std::vector<std::string> bases;
        for (const simdjson::dom::element url : urls) {
            std::string_view text;
            if (url.get_string().get(text)) return where + "a base URL that is not a string";
            bases.emplace_back(text);
        }
        if (bases.empty()) return where + "no base URL";
        std::stable_partition(bases.begin(), bases.end(),
                              [](const std::string& u) { return u.rfind("https://", 0) == 0; });
        if (auto fault = each(where, keys, std::move(bases)); !fault.empty()) return fault;
    }
    return {};
}

std::string ParseTable(Table table, std::string_view json, RegistryBlocks::BlockTable& out) {
    int index = 0;
    auto fault = ForEachService(
        json,
        [&](const std::string& where, simdjson::dom::array blocks,
            std::vector<std::string> bases) -> std::string {
            for (const simdjson::dom::element block : blocks) {
                std::string_view text;
                if (block.get_string().get(text)) return where + "a block that is not a string";
                const auto range = ParseBlock(table, text);
                if (!range)
                    return where + "\"" + std::string(text) + "\" is not " +
                           (table == Table::Asn ? "an AS-number range" : "a network of this file");
                out.blocks.push_back({range->first, range->second, index, -1});
            }
            out.services.push_back(std::move(bases));
            ++index;
            return {};
        });
    if (fault.empty()) Link(out.blocks);
    return fault;
}

} // namespace

Rir RirOfUrl(std::string_view url) {
    if (const auto scheme = url.find("://"); scheme != std::string_view::npos)
        url.remove_prefix(scheme + 3);
    std::string host(url.substr(0, url.find_first_of(":/?#")));
    std::transform(host.begin(), host.end(), host.begin(), LowerAscii);
    if (!host.empty() && host.back() == '.') host.pop_back();
    static constexpr std::pair<std::string_view, Rir> kDomains[] = {
        {"afrinic.net", Rir::Afrinic}, {"apnic.net", Rir::Apnic}, {"arin.net", Rir::Arin},
        {"lacnic.net", Rir::Lacnic},   {"ripe.net", Rir::Ripe},
    };
    for (const auto& [domain, rir] : kDomains) {
        if (host == domain) return rir;
        if (host.size() > domain.size() && host.ends_with(domain) &&
            host[host.size() - domain.size() - 1] == '.')
            return rir;
    }
    return Rir::None;
}

std::string_view RirWhoisServer(Rir rir) {
    switch (rir) {
    case Rir::Afrinic:
        return "whois.afrinic.net";
    case Rir::Apnic:
        return "whois.apnic.net";
    case Rir::Arin:
        return "whois.arin.net";
    case Rir::Lacnic:
        return "whois.lacnic.net";
    case Rir::Ripe:
        return "whois.ripe.net";
    case Rir::None:
        break;
    }
    return {};
}

std::string RegistryBlocks::Load(Table table, std::string_view json) {
    BlockTable parsed;
    auto fault = ParseTable(table, json, parsed);
    if (!fault.empty()) return fault;
    tables_[static_cast<int>(table)] = std::move(parsed);
    return {};
}

std::string RegistryBlocks::LoadDomains(std::string_view json) {
    std::unordered_map<std::string, int> zones;
    std::vector<std::vector<std::string>> services;
    auto fault =
        ForEachService(json,
                       [&](const std::string& where, simdjson::dom::array names,
                           std::vector<std::string> bases) -> std::string {
                           for (const simdjson::dom::element name : names) {
                               std::string_view text;
                               if (name.get_string().get(text) || text.empty())
                                   return where + "a zone that is not a name";
                               std::string zone(text);
                               std::transform(zone.begin(), zone.end(), zone.begin(), LowerAscii);
                               if (zone.back() == '.') zone.pop_back();
                               zones.emplace(std::move(zone), static_cast<int>(services.size()));
                           }
                           services.push_back(std::move(bases));
                           return {};
                       });
    if (!fault.empty()) return fault;
    zones_ = std::move(zones);
    domainServices_ = std::move(services);
    return {};
}

std::optional<DomainService> RegistryBlocks::FindDomain(std::string_view name) const {
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(), LowerAscii);
    if (!key.empty() && key.back() == '.') key.pop_back();
    // Longest first: the whole name, then without its first label, and so on.
    for (std::string_view rest = key; !rest.empty();) {
        if (const auto it = zones_.find(std::string(rest)); it != zones_.end())
            return DomainService{it->first, domainServices_[it->second]};
        const auto dot = rest.find('.');
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    return std::nullopt;
}

std::string RegistryBlocks::LoadFolder(const std::filesystem::path& folder) {
    return LoadFiles([&](std::string_view name) { return folder / name; });
}

std::string RegistryBlocks::LoadFiles(
    const std::function<std::filesystem::path(std::string_view fileName)>& where) {
    std::string faults;
    for (int i = 0; i < 4; ++i) {
        const auto path = where(kFileNames[i]);
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        std::string fault;
        if (!in || !(text << in.rdbuf()))
            fault = "cannot be read";
        else
            fault = i < 3 ? Load(static_cast<Table>(i), text.str()) : LoadDomains(text.str());
        if (fault.empty()) continue;
        if (!faults.empty()) faults += '\n';
        faults += path.string() + ": " + fault;
    }
    return faults;
}

std::size_t RegistryBlocks::Size(Table table) const {
    return tables_[static_cast<int>(table)].blocks.size();
}

std::optional<RegistryMatch> RegistryBlocks::Find(Table table, Key first, Key last) const {
    const auto& t = tables_[static_cast<int>(table)];
    // The last block starting at or before `first`; every block holding the range is it or
    // one of its enclosing blocks.
    const auto after = std::upper_bound(t.blocks.begin(), t.blocks.end(), first,
                                        [](const Key& k, const Block& b) { return k < b.first; });
    int i = static_cast<int>(after - t.blocks.begin()) - 1;
    while (i >= 0 && t.blocks[i].last < last)
        i = t.blocks[i].parent;
    if (i < 0) return std::nullopt;
    RegistryMatch m;
    m.rdapUrls = t.services[t.blocks[i].service];
    m.rir = RirOfUrl(m.rdapUrls.front());
    m.whoisServer = RirWhoisServer(m.rir);
    return m;
}

std::optional<RegistryMatch> RegistryBlocks::FindIPv4(const std::array<std::uint8_t, 4>& address,
                                                      int prefixLength) const {
    if (prefixLength < 0 || prefixLength > 32) return std::nullopt;
    const auto [first, last] = NetworkOf(KeyOf(address.data(), 4), prefixLength, 32);
    return Find(Table::IPv4, first, last);
}

std::optional<RegistryMatch> RegistryBlocks::FindIPv6(const std::array<std::uint8_t, 16>& address,
                                                      int prefixLength) const {
    if (prefixLength < 0 || prefixLength > 128) return std::nullopt;
    const auto [first, last] = NetworkOf(KeyOf(address.data(), 16), prefixLength, 128);
    return Find(Table::IPv6, first, last);
}

std::optional<RegistryMatch> RegistryBlocks::FindAsNumber(std::uint32_t number) const {
    return Find(Table::Asn, Key{0, number}, Key{0, number});
}

} // namespace tesseron
