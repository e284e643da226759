#pragma once

// Server addresses as people and answers write them, and the rule that finds a referral
// to the next server in a port-43 answer.

#include "query/QueryText.h"

#include <optional>
#include <string>
#include <string_view>

namespace tesseron {

// A server text as the server box, the server list or a referral gives it:
// "host", "host:port" or "scheme://host:port/path". The port is 43 unless a valid
// integer follows the first ":". An IPv6 literal is the host without its brackets:
// "[2001:db8::43]:4343" names a port, a bare "2001:db8::43" none. The scheme, lower-cased, picks
// the transport that asks the server; it is empty when the text names none.
struct ServerAddress {
    std::string scheme;
    std::string host;
    int port = 43;
    bool portGiven = false; // the text named the port (an RDAP base URL has its scheme's)
    std::string path;       // from the "/" after the host on, as written; "" without one
};
ServerAddress SplitServerAddress(std::string_view text);

// The referral key of an answer: "ReferralServer:" for a number (an address, a network or
// an AS number: the number registries' key), else "Whois Server:".
std::string_view ReferralKey(QueryKind kind);

// The referral value of an answer: the first line whose lower-case form contains the
// lower-case key, lower-cased, from the second character after the key to the line's end,
// less trailing blanks and control characters, and cut to 1024 bytes (no server address
// is longer). nullopt when no line holds the key.
std::optional<std::string> FindReferral(std::string_view answer, std::string_view key);

} // namespace tesseron
