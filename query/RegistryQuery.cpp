#include "query/RegistryQuery.h"

#include "query/Referral.h"

#include <algorithm>
#include <functional>

namespace tesseron {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsNetwork(QueryKind kind) {
    return kind == QueryKind::IPv4Network || kind == QueryKind::IPv6Network;
}

} // namespace

std::optional<RegistryMatch> FindRegistry(const RegistryBlocks& blocks, const QueryText& query) {
    switch (query.kind) {
    case QueryKind::IPv4Address:
    case QueryKind::IPv4Network:
        return blocks.FindIPv4(
            {query.address[0], query.address[1], query.address[2], query.address[3]},
            query.prefixLength);
    case QueryKind::IPv6Address:
    case QueryKind::IPv6Network:
        return blocks.FindIPv6(query.address, query.prefixLength);
    case QueryKind::ASNumber:
        return blocks.FindAsNumber(query.asNumber);
    case QueryKind::Empty:
    case QueryKind::Name:
        break;
    }
    return std::nullopt;
}

std::string RegistryQueryLine(std::string_view serverHost, QueryKind kind,
                              std::string_view canonical) {
    std::string host(serverHost);
    std::transform(host.begin(), host.end(), host.begin(), Lower);
    if (!host.empty() && host.back() == '.') host.pop_back();
    const std::string_view number =
        kind == QueryKind::ASNumber && canonical.size() > 2 ? canonical.substr(2) : canonical;
    if (host == "whois.arin.net") {
        if (kind == QueryKind::ASNumber) return "a " + std::string(number);
        if (IsNetwork(kind)) return "r + = " + std::string(canonical);
        if (IsIpKind(kind)) return "n + " + std::string(canonical);
    } else if (host == "whois.nic.ad.jp" && kind == QueryKind::ASNumber) {
        return "AS " + std::string(number);
    }
    return std::string(canonical);
}

bool IsNumberRegistry(std::string_view serverHost) {
    std::string host(serverHost);
    std::transform(host.begin(), host.end(), host.begin(), Lower);
    if (!host.empty() && host.back() == '.') host.pop_back();
    if (host == "whois.nic.ad.jp") return true;
    for (const Rir rir : {Rir::Afrinic, Rir::Apnic, Rir::Arin, Rir::Lacnic, Rir::Ripe})
        if (host == RirWhoisServer(rir)) return true;
    return false;
}

std::optional<std::string> FindLastReferral(std::string_view answer, std::string_view key) {
    if (key.empty()) return FindReferral(answer, key);
    const auto hash = [](char c) { return std::hash<char>{}(Lower(c)); };
    const auto equal = [](char a, char b) { return Lower(a) == Lower(b); };
    const std::boyer_moore_horspool_searcher search(key.begin(), key.end(), hash, equal);
    std::optional<std::size_t> lastLine;
    for (auto from = answer.begin();;) {
        const auto hit = std::search(from, answer.end(), search);
        if (hit == answer.end()) break;
        const auto at = static_cast<std::size_t>(hit - answer.begin());
        const auto lineBreak = answer.find_last_of("\r\n", at);
        lastLine = lineBreak == std::string_view::npos ? 0 : lineBreak + 1;
        const auto lineEnd = answer.find_first_of("\r\n", at);
        if (lineEnd == std::string_view::npos) break;
        from = answer.begin() + static_cast<std::ptrdiff_t>(lineEnd);
    }
    if (!lastLine) return std::nullopt;
    return FindReferral(answer.substr(*lastLine), key);
}

} // namespace tesseron
