#pragma once

#include "serverdb/uDomainList.h"

#include <string>
#include <vector>

namespace tesseron {

// Walks of the whole tree, sub-zones included, in list order.
struct ServerListTotals {
    int zones = 0;
    int servers = 0;
};
ServerListTotals CountTotals(const TDomainCollection& domains);

// The server box: for each zone the non-empty addresses of its servers, then its sub-zones.
std::vector<std::string> ServerBoxAddresses(const TDomainCollection& domains);

// The character set the list gives for the server at `host` (a result's ServerName; host
// names compare without regard to case, a port in the list's address is ignored), or "".
std::string CharsetOfServer(const TDomainCollection& domains, std::string_view host);

} // namespace tesseron
