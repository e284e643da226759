#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tesseron {

// What a prepared query text (the address box's text after the web-address filter) names.
enum class QueryKind {
    Empty,       // nothing but blanks
    Name,        // a domain name, or any other text the servers get as typed
    IPv4Address, // as IsIPAddress reads it: "192.0.2.1", also "0x7f.0.0.1"
    IPv6Address, // "2001:db8::1", "[2001:db8::1]", "::ffff:192.0.2.1"
    ASNumber,    // "AS15169", "as15169", "AS 15169"; 0 to 4294967295
    IPv4Network, // "192.0.2.0/24"
    IPv6Network, // "2001:db8::/32"
};

// A classified query text with its canonical form:
// - Name: the text trimmed, otherwise as typed (IDN conversion is a separate step);
// - IPv4Address: dotted decimal ("001.002.003.004" gives "1.2.3.4");
// - IPv6Address: inet_ntop's form, no brackets ("2001:DB8:0::1" gives "2001:db8::1");
// - ASNumber: "AS" and the decimal number ("as 015169" gives "AS15169");
// - networks: the address with its host bits cleared, "/" and the prefix length
//   ("192.0.2.77/24" gives "192.0.2.0/24", "2001:DB8::/32" gives "2001:db8::/32").
struct QueryText {
    QueryKind kind = QueryKind::Empty;
    std::string canonical;
    // Addresses and networks: the address bytes in network order (IPv4 in the first four)
    // and the prefix length (32 or 128 for a single address).
    std::array<std::uint8_t, 16> address{};
    int prefixLength = 0;
    std::uint32_t asNumber = 0; // ASNumber only
    bool nonAscii = false;      // Name only: holds a byte above 0x7f (an IDN to convert)
};

// Classifies `text`, trimmed of blanks and control characters at both ends. The number
// kinds are tried first; whatever is none of them is a Name.
QueryText ClassifyQuery(std::string_view text);

// Whether the kind is an address or network of either family.
bool IsIpKind(QueryKind kind);

} // namespace tesseron
