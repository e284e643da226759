#pragma once

#include "serverdb/HttpTestServer.h"

#include <map>
#include <string>

namespace tesseron::test {

inline std::string Bootstrap(const std::string& keys, const std::string& url) {
    return R"({"version":"1.0","publication":"2026-01-01T00:00:00Z","services":[[[)" + keys +
           R"(],[")" + url + R"("]]]})";
}

// Old and new copies of each file: the new ones move every answer elsewhere.
inline const std::map<std::string, std::string> kOldFiles = {
    {"dns.json", Bootstrap(R"("yy")", "https://rdap.yy.test/")},
    {"ipv4.json", Bootstrap(R"("198.51.100.0/24")", "https://rdap.arin.net/registry/")},
    {"ipv6.json", Bootstrap(R"("2001:db8::/32")", "https://rdap.arin.net/registry/")},
    {"asn.json", Bootstrap(R"("64496-64511")", "https://rdap.arin.net/registry/")},
};
inline const std::map<std::string, std::string> kNewFiles = {
    {"dns.json", Bootstrap(R"("zz", "co.zz")", "https://rdap.zz.test/")},
    {"ipv4.json", Bootstrap(R"("198.51.100.0/24")", "https://rdap.db.ripe.net/")},
    {"ipv6.json", Bootstrap(R"("2001:db8::/32")", "https://rdap.db.ripe.net/")},
    {"asn.json", Bootstrap(R"("64496-64511")", "https://rdap.db.ripe.net/")},
};

inline std::map<std::string, Route>
BootstrapRoutes(const std::map<std::string, std::string>& files) {
    std::map<std::string, Route> routes;
    for (const auto& [name, text] : files)
        routes["/rdap/" + name] = {200, {text}};
    return routes;
}

} // namespace tesseron::test
