#include "query/Referral.h"

#include "desktop/ProfileFile.h"
#include "desktop/TextUtil.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <cstring>

namespace tesseron {
namespace {

// No server address is longer. A hostile answer's value may run to the answer's bound;
// cut here, before it is lowered, logged and split, it costs nothing, and it is refused
// all the same when asked (its host is longer than any host name).
constexpr std::size_t kMaxReferralValue = 1024;

} // namespace

ServerAddress SplitServerAddress(std::string_view text) {
    ServerAddress out;
    if (const auto scheme = text.find("://"); scheme != std::string_view::npos) {
        out.scheme = AsciiLower(TrimBlanks(text.substr(0, scheme))); // as a referral writes it
        text.remove_prefix(scheme + 3);
    }
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        out.path = std::string(text.substr(slash));
        text = text.substr(0, slash);
    }
    // An IPv6 literal holds colons of its own: in brackets a port may follow, bare none can.
    if (const auto close = text.find(']'); text.starts_with('[') && close != text.npos) {
        out.host = std::string(text.substr(1, close - 1));
        if (const auto rest = text.substr(close + 1); rest.starts_with(':'))
            if (const auto port = ParseProfileInteger(rest.substr(1))) {
                out.port = *port;
                out.portGiven = true;
            }
        return out;
    }
    if (in6_addr a; inet_pton(AF_INET6, std::string(text).c_str(), &a) == 1) {
        out.host = std::string(text);
        return out;
    }
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        out.host = std::string(text);
        return out;
    }
    out.host = std::string(text.substr(0, colon));
    if (const auto port = ParseProfileInteger(text.substr(colon + 1))) {
        out.port = *port;
        out.portGiven = true;
    }
    return out;
}

std::string_view ReferralKey(QueryKind kind) {
    return kind == QueryKind::ASNumber || IsIpKind(kind) ? "ReferralServer:" : "Whois Server:";
}

namespace {

bool SameIgnoringCase(const char* text, std::string_view lowerKey) {
    for (std::size_t i = 0; i < lowerKey.size(); ++i)
        if (AsciiLower(text[i]) != lowerKey[i]) return false;
    return true;
}

// Where the lower-case key first occurs in `text` in any letter case. Answers run to many
// megabytes, so nothing is copied, and the search looks at 16 bytes at a time for the
// key's last two characters (letters folded to lower case) before comparing the rest.
std::size_t FindIgnoringCase(std::string_view text, std::string_view lowerKey) {
    const std::size_t k = lowerKey.size();
    if (k == 0) return 0;
    if (text.size() < k) return std::string_view::npos;
    const auto matchesAt = [&](std::size_t end) { // `end`: where the key's last byte would be
        return SameIgnoringCase(text.data() + end + 1 - k, lowerKey);
    };
    std::size_t end = k - 1;
    if (k >= 2) {
        using Block = unsigned char __attribute__((vector_size(16)));
        const auto fold = [](unsigned char c) -> unsigned char {
            return (c >= 'a' && c <= 'z') ? 0x20 : 0; // the bit that tells the cases apart
        };
        const unsigned char last = static_cast<unsigned char>(lowerKey[k - 1]);
        const unsigned char before = static_cast<unsigned char>(lowerKey[k - 2]);
        Block lastFold, beforeFold, lastWant, beforeWant;
        for (int i = 0; i < 16; ++i) {
            lastFold[i] = fold(last);
            beforeFold[i] = fold(before);
            lastWant[i] = last;
            beforeWant[i] = before;
        }
        for (; end + 16 <= text.size(); end += 16) {
            Block a, b;
            std::memcpy(&a, text.data() + end, 16);
            std::memcpy(&b, text.data() + end - 1, 16);
            // A letter matches in either case: set its case bit before comparing.
            const auto hit = ((a | lastFold) == lastWant) & ((b | beforeFold) == beforeWant);
            std::uint64_t halves[2];
            std::memcpy(halves, &hit, 16);
            if ((halves[0] | halves[1]) == 0) continue;
            for (std::size_t i = 0; i < 16; ++i)
                if (hit[i] && matchesAt(end + i)) return end + i + 1 - k;
        }
    }
    for (; end < text.size(); ++end)
        if (matchesAt(end)) return end + 1 - k;
    return std::string_view::npos;
}

} // namespace

std::optional<std::string> FindReferral(std::string_view answer, std::string_view key) {
    const std::string lowerKey = AsciiLower(key);
    // A key holds no line break, so its first occurrence lies in the first line holding it.
    const std::size_t at = FindIgnoringCase(answer, lowerKey);
    if (at == std::string_view::npos) return std::nullopt;
    std::size_t end = answer.find_first_of("\r\n", at + lowerKey.size());
    if (end == std::string_view::npos) end = answer.size();
    // The text after the key less the one character that follows it (normally a blank);
    // a leading blank stays when more blanks follow. Trailing blanks and control
    // characters would spoil the port.
    const std::size_t from = at + lowerKey.size() + 1;
    std::string_view value = from < end ? answer.substr(from, end - from) : std::string_view();
    while (!value.empty() &&
           (static_cast<unsigned char>(value.back()) <= ' ' || value.back() == 0x7f))
        value.remove_suffix(1);
    return AsciiLower(value.substr(0, kMaxReferralValue));
}

} // namespace tesseron
