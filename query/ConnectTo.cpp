#include "query/ConnectTo.h"

#include <charconv>

namespace tesseron {

namespace {

// A port: empty (0) or 1..65535.
bool ReadPort(std::string_view text, int& port) {
    port = 0;
    if (text.empty()) return true;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    return ec == std::errc{} && end == text.data() + text.size() && port >= 1 && port <= 65535;
}

// Splits off the text up to the next ':' (a bracketed IPv6 literal counts as one piece).
std::optional<std::string_view> TakePiece(std::string_view& rest, bool last) {
    if (last) {
        std::string_view piece = rest;
        rest = {};
        return piece;
    }
    std::size_t from = 0;
    if (!rest.empty() && rest.front() == '[') {
        from = rest.find(']');
        if (from == std::string_view::npos) return std::nullopt;
    }
    std::size_t colon = rest.find(':', from);
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view piece = rest.substr(0, colon);
    rest.remove_prefix(colon + 1);
    return piece;
}

std::string Unbracketed(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return std::string(host);
}

} // namespace

std::optional<ConnectTo> ParseConnectTo(std::string_view text) {
    std::string_view rest = text;
    auto host = TakePiece(rest, false);
    auto port = host ? TakePiece(rest, false) : std::nullopt;
    auto toHost = port ? TakePiece(rest, false) : std::nullopt;
    auto toPort = toHost ? TakePiece(rest, true) : std::nullopt;
    if (!toPort || host->empty() || toHost->empty()) return std::nullopt;
    ConnectTo entry;
    entry.host = Unbracketed(*host);
    entry.toHost = Unbracketed(*toHost);
    if (!ReadPort(*port, entry.port) || !ReadPort(*toPort, entry.toPort)) return std::nullopt;
    return entry;
}

ConnectToList ParseConnectToList(std::string_view text) {
    ConnectToList out;
    constexpr std::string_view kSeparators = " \t\n\r,";
    for (std::size_t at = 0; (at = text.find_first_not_of(kSeparators, at)) != text.npos;) {
        std::size_t end = text.find_first_of(kSeparators, at);
        if (end == text.npos) end = text.size();
        const std::string_view entry = text.substr(at, end - at);
        if (auto parsed = ParseConnectTo(entry))
            out.map.push_back(std::move(*parsed));
        else
            out.rejected.emplace_back(entry);
        at = end;
    }
    return out;
}

} // namespace tesseron
