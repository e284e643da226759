#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tesseron {

// The five regional registries that hold the address blocks and AS numbers.
enum class Rir { None, Afrinic, Apnic, Arin, Lacnic, Ripe };

// The registry whose RDAP base URL this is, from its host ("rdap.db.ripe.net" is RIPE):
// the host is the registry's domain ("arin.net", "ripe.net", "apnic.net", "lacnic.net",
// "afrinic.net") or a name under it. Rir::None for any other URL.
Rir RirOfUrl(std::string_view url);
// The registry's port-43 server ("whois.arin.net", ...); "" for Rir::None.
std::string_view RirWhoisServer(Rir rir);

// The holder of a number: the base URLs of the most specific block that holds it, https
// ones first, and the registry they belong to with its port-43 server.
struct RegistryMatch {
    std::vector<std::string> rdapUrls; // never empty
    Rir rir = Rir::None;
    std::string_view whoisServer; // "" when the URLs name none of the five registries
};

// The RDAP service of a domain name: the longest label sequence of dns.json that ends
// the name, and its base URLs, https ones first.
struct DomainService {
    std::string zone;                  // as the file writes it, lower case ("co.uk")
    std::vector<std::string> rdapUrls; // never empty
};

// The block tables of the RDAP bootstrap files for numbers (ipv4.json, ipv6.json,
// asn.json: "services" is a list of [[blocks...], [base URLs...]]). Blocks are kept sorted
// with each block's nearest enclosing block, so a look-up is a binary search and a short
// walk outwards. Blocks either nest or are disjoint, as CIDR blocks are; two equal blocks
// count as nested, the later one in the file being the more specific.
class RegistryBlocks {
public:
    enum class Table { IPv4, IPv6, Asn };

    // Reads one file's text into `table`, replacing what it held. On a fault (not JSON,
    // no "services" list, a block that is not a network or range of the table's kind, a
    // service without URLs) the table keeps its previous content and the function returns
    // a sentence naming the fault; "" on success.
    std::string Load(Table table, std::string_view json);
    // Reads dns.json's text ("services" of [[zones...], [base URLs...]]), replacing the
    // zones held, with the same fault rules as Load.
    std::string LoadDomains(std::string_view json);
    // Reads ipv4.json, ipv6.json, asn.json and dns.json from `folder`; every file is tried,
    // and the faults (a missing or unreadable file too) are joined one per line; "" on
    // success.
    std::string LoadFolder(const std::filesystem::path& folder);
    // The same, each file from where `where` says a file of that name is.
    std::string
    LoadFiles(const std::function<std::filesystem::path(std::string_view fileName)>& where);

    // The service of `name`, an A-label name (letter case and a final dot aside); nullopt
    // when no zone of the file ends it.
    std::optional<DomainService> FindDomain(std::string_view name) const;
    std::size_t DomainCount() const { return zones_.size(); }

    // The holder of the network of `prefixLength` bits at `address` (network byte order;
    // a single address has 32 or 128 bits): the most specific block that holds all of it.
    std::optional<RegistryMatch> FindIPv4(const std::array<std::uint8_t, 4>& address,
                                          int prefixLength = 32) const;
    std::optional<RegistryMatch> FindIPv6(const std::array<std::uint8_t, 16>& address,
                                          int prefixLength = 128) const;
    std::optional<RegistryMatch> FindAsNumber(std::uint32_t number) const;

    // The number of blocks read into a table.
    std::size_t Size(Table table) const;

    // A block as two 128-bit bounds (IPv4 addresses and AS numbers in the low half).
    struct Key {
        std::uint64_t hi = 0, lo = 0;
        auto operator<=>(const Key&) const = default;
    };
    struct Block {
        Key first, last;
        int service = 0; // index into the table's services
        int parent = -1; // the nearest enclosing block, -1 for none
    };
    struct BlockTable {
        std::vector<Block> blocks;
        std::vector<std::vector<std::string>> services; // base URLs, https first
    };

private:
    std::optional<RegistryMatch> Find(Table table, Key first, Key last) const;
    std::array<BlockTable, 3> tables_;
    std::unordered_map<std::string, int> zones_; // zone -> index into domainServices_
    std::vector<std::vector<std::string>> domainServices_;
};

} // namespace tesseron
