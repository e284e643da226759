#pragma once

#include "query/ConnectTo.h"
#include "query/KindedError.h"
#include "query/SocksInfo.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tesseron {

class AbortHandle;

struct ExchangeLimits {
    int readTimeoutMs = 5000;       // wait for the next piece of the answer; 0: no limit
    int connectTimeoutMs = 30000;   // TCP connect (direct or to the proxy)
    int handshakeTimeoutMs = 30000; // each read of a proxy reply
    // The whole exchange, from the look-up to the last byte, so a server that trickles its
    // answer cannot keep a run going; 0: no limit.
    int exchangeTimeoutMs = 20000;
    std::size_t maxAnswerBytes = std::size_t{64} << 20;
};

// A whole exchange may last this many read time-outs. It is a handful of waits (look-up,
// connect, proxy replies, the answer's pieces), each bounded by the read time-out, with
// room left for a long answer on a slow line.
inline constexpr int kExchangeTimeoutFactor = 4;

// The limits of a run with the given read time-out (whoisTimeout, milliseconds): the proxy
// replies wait as long as a piece of the answer, the whole exchange kExchangeTimeoutFactor
// times that. A time-out of 0 waits for the answer without limit and leaves the
// handshake's own bound in place.
ExchangeLimits LimitsForTimeout(int whoisTimeoutMs, ExchangeLimits base = ExchangeLimits{});

// Why an exchange failed. The run sees them as the WHOIS transport folds them into its
// failure kinds; the tests tell them all apart.
enum class ExchangeFailure {
    Resolve, // a name did not resolve
    Connect, // refused or unreachable
    ConnectTimeout,
    ProxyRefused,  // a SOCKS refusal, a wrong method, a failed authentication
    ProxyProtocol, // a proxy that closed or answered something that is not SOCKS
    ProxyTimeout,
    Argument, // a query line, name, user name or password that cannot be sent as it is
    ReadTimeout,
    ExchangeTimeout, // the whole exchange took longer than its bound
    Receive,         // reset or other receive error
    TooLarge,        // answer over the bound
    Send,
    Aborted,
};

using ExchangeError = KindedError<ExchangeFailure>;

// One WHOIS conversation per call: connect (directly or through the proxy), send the
// query line with CR LF, read until the server closes. Throws ExchangeError.
// `connectTo` says where a connection to a server really goes; it is applied before any
// look-up, and through a proxy to the server handed to the proxy, never to the proxy.
class WhoisClient {
public:
    WhoisClient(SocksInfo socks, ExchangeLimits limits,
                std::shared_ptr<AbortHandle> abort = nullptr, ConnectToMap connectTo = {});

    std::string WhoisExchange(const std::string& host, int port, const std::string& queryLine);

    const SocksInfo& socks() const noexcept { return socks_; }
    const ExchangeLimits& limits() const noexcept { return limits_; }
    const ConnectToMap& connectTo() const noexcept { return connectTo_; }

private:
    SocksInfo socks_;
    ExchangeLimits limits_;
    ConnectToMap connectTo_;
    std::shared_ptr<AbortHandle> abort_;
};

} // namespace tesseron
