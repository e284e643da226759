#pragma once

#include "query/Transport.h"
#include "query/WhoisExchange.h"

namespace tesseron {

// WHOIS over TCP (port 43 unless the address names another), directly or through the
// SOCKS proxy of the run. It speaks addresses without a scheme and "whois://" and
// "rwhois://" ones; any other scheme fails before anything is sent.
class WhoisTransport final : public Transport {
public:
    WhoisTransport(SocksInfo socks, ExchangeLimits limits,
                   std::shared_ptr<AbortHandle> abort = nullptr, ConnectToMap connectTo = {});

    // The query line is the prefix followed by the query.
    std::string Ask(const ServerAddress& server, const Question& question) override;

    // A number's answer: the last "ReferralServer:" line, since an address's answer lists
    // one per block, the least specific first. A name's: the first "Whois Server:" line.
    std::optional<std::string> Referral(std::string_view answer, QueryKind kind) const override;

    static bool Speaks(std::string_view scheme);

private:
    WhoisClient client_;
};

} // namespace tesseron
