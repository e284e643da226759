#include "query/AddressTools.h"

#include "desktop/ProfileFile.h"
#include "query/AbortHandle.h"
#include "query/RunOffThread.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>

namespace tesseron {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

int AbortFd(const AbortHandle* abort) {
    return abort ? abort->fd() : -1;
}

} // namespace

std::optional<std::array<unsigned char, 4>> ParseIPAddress(std::string_view text) {
    std::string_view parts[4];
    for (int i = 0; i < 3; ++i) {
        const auto dot = text.find('.');
        if (dot == std::string_view::npos) {
            parts[i] = text;
            text = {};
            continue;
        }
        parts[i] = text.substr(0, dot);
        text.remove_prefix(dot + 1);
    }
    parts[3] = text;
    std::array<unsigned char, 4> bytes{};
    for (int i = 0; i < 4; ++i) {
        // The same integer text the settings accept: decimal with a sign, or "0x" hex.
        const auto v = ParseProfileInteger(parts[i]);
        if (!v || *v < 0 || *v > 255) return std::nullopt;
        bytes[i] = static_cast<unsigned char>(*v);
    }
    return bytes;
}

bool IsIPAddress(std::string_view text) {
    return ParseIPAddress(text).has_value();
}

bool FitsHostName(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    if (name.size() > 253) return false;
    for (std::size_t start = 0;;) {
        const auto dot = name.find('.', start);
        const auto end = dot == std::string_view::npos ? name.size() : dot;
        if (end - start > 63) return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsControl);
}

std::string ShowControlCharacters(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (!IsControl(c)) {
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            const auto u = static_cast<unsigned char>(c);
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

std::string ResolveAddress(const std::string& name, const AbortHandle* abort) {
    if (name.empty() || name.size() >= 256 || name.find('\0') != std::string::npos ||
        !FitsHostName(name))
        return {};
    const auto r = ResolveIPv4(name, AbortFd(abort));
    if (r.status != ResolveStatus::Ok) return {};
    char text[INET_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET, &r.address, text, sizeof text) ? std::string(text) : std::string();
}

std::string ResolveReverseName(const std::string& address, const AbortHandle* abort) {
    const auto bytes = ParseIPAddress(address);
    if (!bytes) return {};
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    std::memcpy(&sa.sin_addr, bytes->data(), 4);
    const auto name = RunOffThread<std::string>(
        [sa]() {
            char host[NI_MAXHOST] = {};
            if (getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host,
                            nullptr, 0, NI_NAMEREQD) != 0)
                return std::string();
            return std::string(host);
        },
        AbortFd(abort));
    return name.value_or(std::string());
}

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

std::string_view ReferralKey(std::string_view queryString) {
    return IsIPAddress(queryString) ? "ReferralServer:" : "Whois Server:";
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

std::string FilterURL(std::string_view text, bool smart) {
    std::string t(TrimBlanks(text));
    if (!smart) return t;
    if (const auto scheme = t.find("://"); scheme != std::string::npos) t.erase(0, scheme + 3);
    if (const auto slash = t.find('/'); slash != std::string::npos) t.erase(slash);
    if (const auto colon = t.find(':'); colon != std::string::npos) t.erase(colon);
    return t;
}

std::string StripWww(std::string_view text, bool smart) {
    std::string t(TrimBlanks(text));
    if (smart && t.rfind("www.", 0) == 0) t.erase(0, 4);
    return t;
}

void AddToHistory(std::vector<std::string>& history, const std::string& text, int historyLines) {
    history.erase(std::remove(history.begin(), history.end(), text), history.end());
    history.insert(history.begin(), text);
    const auto keep = static_cast<std::size_t>(std::max(historyLines, 0));
    if (history.size() > keep) history.resize(keep);
}

bool IsQueryEnabled(std::string_view addressText, std::string_view serverText, bool useRating) {
    return !addressText.empty() && (!serverText.empty() || useRating);
}

} // namespace tesseron
