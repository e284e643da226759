#include "query/WebAddress.h"

#include "desktop/TextUtil.h"
#include "query/QueryText.h"

namespace tesseron {

std::string FilterWebAddress(std::string_view text, bool smart) {
    std::string_view t = TrimBlanks(text);
    if (!smart) return std::string(t);
    // A network's "/" is not a path, and a bare IPv6 literal's colons are not a port.
    const auto kind = ClassifyQuery(t).kind;
    if (kind == QueryKind::IPv4Network || kind == QueryKind::IPv6Network ||
        kind == QueryKind::IPv6Address) {
        if (t.front() == '[' && t.back() == ']') t = t.substr(1, t.size() - 2);
        return std::string(t);
    }
    if (const auto scheme = t.find("://"); scheme != std::string_view::npos)
        t.remove_prefix(scheme + 3);
    if (const auto end = t.find_first_of("/?#"); end != std::string_view::npos)
        t = t.substr(0, end);
    if (const auto at = t.rfind('@'); at != std::string_view::npos) t.remove_prefix(at + 1);
    if (!t.empty() && t.front() == '[') {
        if (const auto close = t.find(']'); close != std::string_view::npos)
            return std::string(t.substr(1, close - 1));
        return std::string(t);
    }
    if (ClassifyQuery(t).kind != QueryKind::IPv6Address) {
        if (const auto colon = t.find(':'); colon != std::string_view::npos) t = t.substr(0, colon);
        if (t.size() > 1 && t.back() == '.') t.remove_suffix(1);
    }
    return std::string(t);
}

std::string StripLeadingWww(std::string_view text, bool smart) {
    std::string_view t = TrimBlanks(text);
    const auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    if (smart && t.size() >= 4 && lower(t[0]) == 'w' && lower(t[1]) == 'w' && lower(t[2]) == 'w' &&
        t[3] == '.')
        t.remove_prefix(4);
    return std::string(t);
}

} // namespace tesseron
