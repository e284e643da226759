#pragma once

// Where a run sends a classified query: the text it looks up in the server list, the order
// in which the zone's servers are asked, and the line each of them gets. The run and
// `tesseron-cli --servers` share these, so the listing is the run's own order.

#include "query/QueryText.h"
#include "query/Transport.h"

#include <string>
#include <string_view>
#include <vector>

namespace tesseron {

class RegistryBlocks;
class TWhoisServerCollection;
class TWhoisServerItem;

// Whether the kind is a number (an address, a network or an AS number) rather than a name.
bool IsNumberKind(QueryKind kind);

// The text the server list is searched for: "ip" for an address or a network, "asn" for an
// AS number, `lookupName` (a name in its A-label form) for anything else.
std::string ZoneLookupText(QueryKind kind, const std::string& lookupName);

// The zone's servers in the order a run asks them. For a number, the server of the
// registry that holds it (found in `blocks`) comes first when the zone lists it, the others
// follow in list order; a name, a null `blocks` or a number no block holds keeps the list's
// order.
std::vector<const TWhoisServerItem*> AskingOrder(const TWhoisServerCollection& zone,
                                                 const RegistryBlocks* blocks,
                                                 const QueryText& query);

// What a server at `host` is asked. A number: a registry with query forms of its own gets
// its form alone (so a listed prefix never doubles it), any other server `prefix` and the
// canonical text. A name: `prefix` and `lookupName`, trimmed, as always. A referral passes
// an empty prefix.
Question QuestionFor(std::string_view host, std::string_view prefix, const QueryText& query,
                     std::string_view lookupName);

// The base addresses of the RDAP service for a classified query, https ones first: the zone
// of `lookupName` (A-labels) in dns.json for a name, the holder's block for a number. Empty
// when the bootstrap names none or `blocks` is null.
std::vector<std::string> RdapServiceUrls(const RegistryBlocks* blocks, const QueryText& query,
                                         std::string_view lookupName);

// The RDAP service of a server list's zone, as the server browser shows it beside the
// zone's port-43 servers.
struct ZoneRdapService {
    bool byNumber = false;         // "ip" or "asn": each number's holder has its own service
    std::vector<std::string> urls; // a name zone's base addresses, https ones first
};
// `suffix` as the list writes it (".co.uk", ".xn--p1ai", "ip"; letter case, blanks and a
// leading dot aside, Unicode labels converted); a zone with none has neither.
ZoneRdapService RdapServiceOfZone(const RegistryBlocks* blocks, std::string_view suffix);

} // namespace tesseron
