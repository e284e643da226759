#pragma once

// Where a connection to a named server really goes. A private mirror of a registry, or a
// test's loopback server, stands in for "whois.arin.net:43" without the resolver being
// asked; libcurl's CURLOPT_CONNECT_TO takes the same four parts.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesseron {

struct ConnectTo {
    std::string host; // as the server list, a referral or a URL names it (case ignored)
    int port = 0;     // 0: any port
    std::string toHost;
    int toPort = 0; // 0: the port asked
};

using ConnectToMap = std::vector<ConnectTo>;

struct Endpoint {
    std::string host;
    int port = 0;
};

// The first entry for host:port, applied; nullopt when none holds.
inline std::optional<Endpoint> Redirected(const ConnectToMap& map, std::string_view host,
                                          int port) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : char(c); };
    for (const ConnectTo& e : map) {
        if (e.host.size() != host.size() || (e.port != 0 && e.port != port)) continue;
        bool same = true;
        for (std::size_t i = 0; same && i < host.size(); ++i)
            same = lower(e.host[i]) == lower(host[i]);
        if (same) return Endpoint{e.toHost, e.toPort != 0 ? e.toPort : port};
    }
    return std::nullopt;
}

// "HOST:PORT:TOHOST:TOPORT" as the command line gives it (an empty PORT or TOPORT: any, the
// same; an IPv6 TOHOST in brackets); nullopt when the text has another shape.
std::optional<ConnectTo> ParseConnectTo(std::string_view text);

struct ConnectToList {
    ConnectToMap map;
    std::vector<std::string> rejected; // entries of another shape, as written
};

// Entries as ParseConnectTo reads them, separated by blanks or commas (an environment
// variable's value).
ConnectToList ParseConnectToList(std::string_view text);

} // namespace tesseron
