#pragma once

// Look-ups of the system resolver that an abort can end at once.

#include <string>

namespace tesseron {

class AbortHandle;

// The first IPv4 address of a host name as dotted text, or "" when the look-up fails.
// A name too long to be one resolves to nothing without asking the resolver. An abort
// ends the wait at once with "".
std::string ResolveAddress(const std::string& name, const AbortHandle* abort = nullptr);

// The host name registered for an address IsIPAddress accepts or an IPv6 literal
// ("::1", "[::1]"), or "".
std::string ResolveReverseName(const std::string& address, const AbortHandle* abort = nullptr);

} // namespace tesseron
