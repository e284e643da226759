#pragma once

#include "query/QueryText.h"
#include "serverdb/RegistryBlocks.h"

#include <optional>
#include <string>
#include <string_view>

namespace tesseron {

// The registry that holds an address, a network or an AS number of the bootstrap tables;
// nullopt for a name, an empty text, or a number no block holds.
std::optional<RegistryMatch> FindRegistry(const RegistryBlocks& blocks, const QueryText& query);

// The query line a number registry's port-43 server expects for a classified text, from the
// server's host (letter case and a final dot aside) and the text's canonical form:
// - whois.arin.net: "a 15169" for an AS number, "n + 192.0.2.1" for an address,
//   "r + = 192.0.2.0/24" for a network;
// - whois.nic.ad.jp: "AS 1234" for an AS number;
// - whois.ripe.net, whois.apnic.net, whois.lacnic.net, whois.afrinic.net and every other
//   server, and every name: `canonical` unchanged ("AS15169", "192.0.2.0/24").
// A server's prefix from the server list is not part of this; it is put in front elsewhere.
std::string RegistryQueryLine(std::string_view serverHost, QueryKind kind,
                              std::string_view canonical);

// Whether the host is a number registry whose query forms RegistryQueryLine knows (the
// five regional registries and JPNIC): for a number, its form replaces the list's prefix.
bool IsNumberRegistry(std::string_view serverHost);

// The referral value of the LAST line of `answer` holding `key`, in any letter case, by the
// value rules of FindReferral (the first occurrence of the key in that line counts; the
// value is lower-cased and trimmed at its end). An address's answer lists one
// "ReferralServer:" per block, the least specific first, so the last names the holder.
// nullopt when no line holds the key.
std::optional<std::string> FindLastReferral(std::string_view answer, std::string_view key);

} // namespace tesseron
