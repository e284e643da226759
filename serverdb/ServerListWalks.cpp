#include "serverdb/ServerListWalks.h"

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

} // namespace tesseron
