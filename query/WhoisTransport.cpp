#include "query/WhoisTransport.h"

#include "query/RegistryQuery.h"
#include "query/ServerRoute.h"

namespace tesseron {

WhoisTransport::WhoisTransport(SocksInfo socks, ExchangeLimits limits,
                               std::shared_ptr<AbortHandle> abort)
    : client_(std::move(socks), limits, std::move(abort)) {}

bool WhoisTransport::Speaks(std::string_view scheme) {
    // "rwhois://" referrals have always been asked as plain WHOIS on their port.
    return scheme.empty() || scheme == "whois" || scheme == "rwhois";
}

std::string WhoisTransport::Ask(const ServerAddress& server, const Question& question) {
    if (!Speaks(server.scheme))
        throw TransportError(TransportFailure::Unsupported, "The address scheme " + server.scheme +
                                                                ":// of " + server.host +
                                                                " is not WHOIS");
    try {
        return client_.WhoisExchange(server.host, server.port, question.prefix + question.query);
    } catch (const ExchangeError& e) {
        switch (e.kind()) {
        case ExchangeFailure::ExchangeTimeout:
            throw TransportError(TransportFailure::OverTime, e.what());
        case ExchangeFailure::Aborted:
            throw TransportError(TransportFailure::Aborted, e.what());
        default:
            throw TransportError(TransportFailure::Failed, e.what());
        }
    }
}

std::optional<std::string> WhoisTransport::Referral(std::string_view answer, QueryKind kind) const {
    const std::string_view key = ReferralKey(kind);
    if (IsNumberKind(kind)) return FindLastReferral(answer, key);
    return FindReferral(answer, key);
}

} // namespace tesseron
