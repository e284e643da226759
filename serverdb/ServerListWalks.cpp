#include "serverdb/ServerListWalks.h"

#include "desktop/TextUtil.h"

namespace tesseron {

namespace {

void AddTotals(const TDomainCollection& domains, ServerListTotals& totals) {
    for (int i = 0; i < domains.Count(); ++i) {
        const TDomainItem& zone = domains[i];
        ++totals.zones;
        totals.servers += zone.WhoisServers.Count();
        AddTotals(zone.SubDomains, totals);
    }
}

void AddAddresses(const TDomainCollection& domains, std::vector<std::string>& out) {
    for (int i = 0; i < domains.Count(); ++i) {
        const TDomainItem& zone = domains[i];
        for (int k = 0; k < zone.WhoisServers.Count(); ++k)
            if (!zone.WhoisServers[k].Address.empty()) out.push_back(zone.WhoisServers[k].Address);
        AddAddresses(zone.SubDomains, out);
    }
}

} // namespace

ServerListTotals CountTotals(const TDomainCollection& domains) {
    ServerListTotals totals;
    AddTotals(domains, totals);
    return totals;
}

std::vector<std::string> ServerBoxAddresses(const TDomainCollection& domains) {
    std::vector<std::string> out;
    AddAddresses(domains, out);
    return out;
}

namespace {

bool IsHostOf(std::string_view address, std::string_view host) {
    if (address.size() > host.size() && address[host.size()] == ':')
        address = address.substr(0, host.size());
    return EqualsIgnoringCase(address, host);
}

const std::string* FindCharset(const TDomainCollection& domains, std::string_view host) {
    for (int i = 0; i < domains.Count(); ++i) {
        const TDomainItem& zone = domains[i];
        for (int k = 0; k < zone.WhoisServers.Count(); ++k) {
            const TWhoisServerItem& server = zone.WhoisServers[k];
            if (!server.Charset.empty() && IsHostOf(server.Address, host)) return &server.Charset;
        }
        if (const std::string* found = FindCharset(zone.SubDomains, host)) return found;
    }
    return nullptr;
}

} // namespace

std::string CharsetOfServer(const TDomainCollection& domains, std::string_view host) {
    if (host.empty()) return {};
    const std::string* found = FindCharset(domains, host);
    return found ? *found : std::string();
}

} // namespace tesseron
