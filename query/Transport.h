#pragma once

// How a run asks one server. A transport is one protocol: the way to the server, its own
// rule for an answer that sends the query on to another server, and why an attempt
// failed, told in kinds the run acts on. The run picks the transport for each server
// (TWhoisRequestThread::TransportFor); nothing else in the run knows the wire.

#include "query/KindedError.h"
#include "query/QueryText.h"
#include "query/Referral.h"

#include <optional>
#include <string>
#include <string_view>

namespace tesseron {

enum class TransportFailure {
    Unsupported, // the server's address scheme is not this transport's: nothing was sent
    OverTime,    // the whole attempt took longer than its bound
    Aborted,     // the run was stopped
    NotFound,    // the server has no record of what was asked (nothing to store)
    Failed,      // any other reason (the server, a proxy, the network); the message says which
};

// Why a Failed attempt failed, in words any protocol can use: what the user is told.
enum class FailureReason {
    HostNotFound, // the server's or the proxy's name did not resolve
    Refused,      // refused or unreachable
    TimedOut,     // the server or the proxy did not answer in time
    Proxy,        // the proxy refused or does not speak its protocol
    Unsendable,   // the query, a name or the proxy's credentials cannot be sent as they are
    Broken,       // the connection broke off while sending or receiving
    TooLarge,     // the answer is over the bound
};

class TransportError : public KindedError<TransportFailure> {
public:
    TransportError(TransportFailure kind, const std::string& message,
                   FailureReason reason = FailureReason::Broken)
        : KindedError(kind, message), reason_(reason) {}
    FailureReason reason() const noexcept { return reason_; }

private:
    FailureReason reason_;
};

// What the run asks a server.
struct Question {
    std::string query;  // the name or address, trimmed
    std::string prefix; // the server list's prefix for this server; empty for a referral
};

class Transport {
public:
    virtual ~Transport() = default;

    // The server's whole answer. Throws TransportError.
    virtual std::string Ask(const ServerAddress& server, const Question& question) = 0;

    // The server an answer to a query of `kind` sends it on to, as the answer names it, or
    // nullopt when it names none.
    virtual std::optional<std::string> Referral(std::string_view answer, QueryKind kind) const = 0;
};

} // namespace tesseron
