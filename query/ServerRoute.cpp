#include "query/ServerRoute.h"

#include "desktop/TextUtil.h"
#include "query/IdnName.h"
#include "query/Referral.h"
#include "query/RegistryQuery.h"
#include "serverdb/RegistryBlocks.h"
#include "serverdb/uDomainList.h"

#include <algorithm>

namespace tesseron {
namespace {

bool SameHost(std::string_view a, std::string_view b) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (!a.empty() && a.back() == '.') a.remove_suffix(1);
    if (!b.empty() && b.back() == '.') b.remove_suffix(1);
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

bool IsNumberKind(QueryKind kind) {
    return kind == QueryKind::ASNumber || IsIpKind(kind);
}

std::string ZoneLookupText(QueryKind kind, const std::string& lookupName) {
    if (kind == QueryKind::ASNumber) return std::string(kASNumberZoneText);
    if (IsIpKind(kind)) return std::string(kIPAddressZoneText);
    return lookupName;
}

std::vector<const TWhoisServerItem*> AskingOrder(const TWhoisServerCollection& zone,
                                                 const RegistryBlocks* blocks,
                                                 const QueryText& query) {
    std::vector<const TWhoisServerItem*> order;
    for (int i = 0; i < zone.Count(); ++i)
        order.push_back(&zone.Items(i));
    if (!blocks || !IsNumberKind(query.kind)) return order;
    const auto holder = FindRegistry(*blocks, query);
    if (!holder || holder->whoisServer.empty()) return order;
    const auto first = std::find_if(order.begin(), order.end(), [&](const TWhoisServerItem* s) {
        return SameHost(SplitServerAddress(s->Address).host, holder->whoisServer);
    });
    // The registry's entry moves to the front; the others keep their order behind it.
    if (first != order.end()) std::rotate(order.begin(), first, first + 1);
    return order;
}

Question QuestionFor(std::string_view host, std::string_view prefix, const QueryText& query,
                     std::string_view lookupName) {
    if (!IsNumberKind(query.kind))
        return Question{std::string(TrimBlanks(lookupName)), std::string(prefix)};
    std::string line = RegistryQueryLine(host, query.kind, query.canonical);
    if (IsNumberRegistry(host)) return Question{std::move(line), {}};
    return Question{std::move(line), std::string(prefix)};
}

std::vector<std::string> RdapServiceUrls(const RegistryBlocks* blocks, const QueryText& query,
                                         std::string_view lookupName) {
    if (!blocks) return {};
    if (IsNumberKind(query.kind)) {
        auto holder = FindRegistry(*blocks, query);
        return holder ? std::move(holder->rdapUrls) : std::vector<std::string>{};
    }
    if (query.kind != QueryKind::Name) return {};
    auto service = blocks->FindDomain(TrimBlanks(lookupName));
    return service ? std::move(service->rdapUrls) : std::vector<std::string>{};
}

ZoneRdapService RdapServiceOfZone(const RegistryBlocks* blocks, std::string_view suffix) {
    ZoneRdapService service;
    std::string_view zone = TrimBlanks(suffix);
    while (!zone.empty() && zone.front() == '.')
        zone.remove_prefix(1);
    if (EqualsIgnoringCase(zone, kIPAddressZoneText) ||
        EqualsIgnoringCase(zone, kASNumberZoneText)) {
        service.byNumber = true;
        return service;
    }
    if (!blocks || zone.empty()) return service;
    const IdnResult name = ToLookupName(zone);
    if (!name.ok()) return service;
    if (auto found = blocks->FindDomain(name.name)) service.urls = std::move(found->rdapUrls);
    return service;
}

} // namespace tesseron
