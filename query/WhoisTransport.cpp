#include "query/WhoisTransport.h"

#include "query/RegistryQuery.h"
#include "query/ServerRoute.h"

#include <utility>

namespace tesseron {
namespace {

// What the user is told for each kind of failure; any other kind is a connection that
// broke off.
constexpr std::pair<ExchangeFailure, FailureReason> kReasons[] = {
    {ExchangeFailure::Resolve, FailureReason::HostNotFound},
    {ExchangeFailure::Connect, FailureReason::Refused},
    {ExchangeFailure::ConnectTimeout, FailureReason::TimedOut},
    {ExchangeFailure::ProxyTimeout, FailureReason::TimedOut},
    {ExchangeFailure::ReadTimeout, FailureReason::TimedOut},
    {ExchangeFailure::ProxyRefused, FailureReason::Proxy},
    {ExchangeFailure::ProxyProtocol, FailureReason::Proxy},
    {ExchangeFailure::Argument, FailureReason::Unsendable},
    {ExchangeFailure::TooLarge, FailureReason::TooLarge}};

FailureReason ReasonOf(ExchangeFailure kind) {
    for (const auto& [k, reason] : kReasons)
        if (k == kind) return reason;
    return FailureReason::Broken;
}

} // namespace

WhoisTransport::WhoisTransport(SocksInfo socks, ExchangeLimits limits,
                               std::shared_ptr<AbortHandle> abort, ConnectToMap connectTo)
    : client_(std::move(socks), limits, std::move(abort), std::move(connectTo)) {}

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
            throw TransportError(TransportFailure::Failed, e.what(), ReasonOf(e.kind()));
        }
    }
}

std::optional<std::string> WhoisTransport::Referral(std::string_view answer, QueryKind kind) const {
    const std::string_view key = ReferralKey(kind);
    if (IsNumberKind(kind)) return FindLastReferral(answer, key);
    return FindReferral(answer, key);
}

} // namespace tesseron
