#include "query/QueryText.h"

#include "desktop/TextUtil.h"
#include "query/AddressBox.h"

#include <algorithm>
#include <arpa/inet.h>
#include <optional>

namespace tesseron {
namespace {

bool IsDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number of at most `max`, digits only ("+1" and "0x1" are not lengths).
std::optional<std::uint64_t> ParseDecimal(std::string_view s, std::uint64_t max) {
    if (!IsDigits(s)) return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : s) {
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v > max) return std::nullopt;
    }
    return v;
}

std::string_view Unbracket(std::string_view s) {
    if (s.size() >= 2 && s.front() == '[' && s.back() == ']') return s.substr(1, s.size() - 2);
    return s;
}

bool ParseIPv6(std::string_view s, std::array<std::uint8_t, 16>& out) {
    if (s.empty() || s.size() >= INET6_ADDRSTRLEN) return false;
    const std::string z(s); // inet_pton wants a terminated string
    return inet_pton(AF_INET6, z.c_str(), out.data()) == 1;
}

void ClearHostBits(std::array<std::uint8_t, 16>& bytes, int prefix, int bits) {
    for (int i = 0; i < bits / 8; ++i) {
        const int keep = std::clamp(prefix - i * 8, 0, 8);
        bytes[i] &= static_cast<std::uint8_t>(0xff00u >> keep);
    }
}

std::string FormatAddress(const std::array<std::uint8_t, 16>& bytes, bool v6) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(v6 ? AF_INET6 : AF_INET, bytes.data(), text, sizeof text);
    return text;
}

bool ClassifyAsNumber(std::string_view t, QueryText& q) {
    if (t.size() < 3 || (t[0] != 'A' && t[0] != 'a') || (t[1] != 'S' && t[1] != 's')) return false;
    t.remove_prefix(2);
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    const auto n = ParseDecimal(t, 0xffffffffu);
    if (!n) return false;
    q.kind = QueryKind::ASNumber;
    q.asNumber = static_cast<std::uint32_t>(*n);
    q.canonical = "AS" + std::to_string(q.asNumber);
    return true;
}

bool ClassifyAddress(std::string_view t, QueryText& q) {
    if (const auto v4 = ParseIPAddress(t)) {
        std::copy(v4->begin(), v4->end(), q.address.begin());
        q.kind = QueryKind::IPv4Address;
        q.prefixLength = 32;
        q.canonical = FormatAddress(q.address, false);
        return true;
    }
    if (!ParseIPv6(Unbracket(t), q.address)) return false;
    q.kind = QueryKind::IPv6Address;
    q.prefixLength = 128;
    q.canonical = FormatAddress(q.address, true);
    return true;
}

bool ClassifyNetwork(std::string_view t, QueryText& q) {
    const auto slash = t.rfind('/');
    if (slash == std::string_view::npos) return false;
    const auto host = t.substr(0, slash);
    const auto v4 = ParseIPAddress(host);
    const auto length = ParseDecimal(t.substr(slash + 1), v4 ? 32 : 128);
    if (!length) return false;
    if (v4) {
        std::copy(v4->begin(), v4->end(), q.address.begin());
    } else if (!ParseIPv6(Unbracket(host), q.address)) {
        return false;
    }
    q.kind = v4 ? QueryKind::IPv4Network : QueryKind::IPv6Network;
    q.prefixLength = static_cast<int>(*length);
    ClearHostBits(q.address, q.prefixLength, v4 ? 32 : 128);
    q.canonical = FormatAddress(q.address, !v4) + "/" + std::to_string(q.prefixLength);
    return true;
}

} // namespace

QueryText ClassifyQuery(std::string_view text) {
    QueryText q;
    const auto t = TrimBlanks(text);
    if (t.empty()) return q;
    if (ClassifyAddress(t, q) || ClassifyNetwork(t, q) || ClassifyAsNumber(t, q)) return q;
    q = QueryText{}; // a failed parse may have left bytes behind
    q.kind = QueryKind::Name;
    q.canonical = std::string(t);
    q.nonAscii = std::any_of(t.begin(), t.end(),
                             [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return q;
}

bool IsIpKind(QueryKind kind) {
    return kind == QueryKind::IPv4Address || kind == QueryKind::IPv6Address ||
           kind == QueryKind::IPv4Network || kind == QueryKind::IPv6Network;
}

} // namespace tesseron
