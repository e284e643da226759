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
    Failed,      // any other reason (the server, a proxy, the network); the message says which
};

using TransportError = KindedError<TransportFailure>;

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
