#include "query/Referral.h"

#include "desktop/ProfileFile.h"
#include "desktop/TextUtil.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tesseron {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

} // namespace

ServerAddress SplitServerAddress(std::string_view text) {
    ServerAddress out;
    if (const auto scheme = text.find("://"); scheme != std::string_view::npos) {
        out.scheme = LowerAscii(TrimBlanks(text.substr(0, scheme))); // as a referral writes it
        text.remove_prefix(scheme + 3);
    }
    if (const auto slash = text.find('/'); slash != std::string_view::npos)
        text = text.substr(0, slash);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        out.host = std::string(text);
        return out;
    }
    out.host = std::string(text.substr(0, colon));
    if (const auto port = ParseProfileInteger(text.substr(colon + 1))) out.port = *port;
    return out;
}

std::string_view ReferralKey(QueryKind kind) {
    return kind == QueryKind::ASNumber || IsIpKind(kind) ? "ReferralServer:" : "Whois Server:";
}

namespace {

bool SameIgnoringCase(const char* text, std::string_view lowerKey) {
    for (std::size_t i = 0; i < lowerKey.size(); ++i)
        if (Lower(text[i]) != lowerKey[i]) return false;
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
    const std::string lowerKey = LowerAscii(key);
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
    return LowerAscii(value);
}

} // namespace tesseron
