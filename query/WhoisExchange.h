#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace tesseron {

class AbortHandle;

// Proxy settings of a run, copied from the settings when the run starts.
struct SocksInfo {
    uint8_t version = 0; // 0 none, 1 SOCKS 4, 2 SOCKS 4A, 3 SOCKS 5; others: none
    std::string host;
    int port = 1080;
    uint8_t authentication = 0; // 0 none, 1 user name and password
    std::string userName;
    std::string password;
};

struct ExchangeLimits {
    int readTimeoutMs = 5000;       // wait for the next piece of the answer; 0: no limit
    int connectTimeoutMs = 30000;   // TCP connect (direct or to the proxy)
    int handshakeTimeoutMs = 30000; // each read of a proxy reply
    std::size_t maxAnswerBytes = std::size_t{64} << 20;
};

// Why an exchange failed. The query run treats all alike; the command line and the
// tests tell them apart.
enum class ExchangeFailure {
    Resolve, // a name did not resolve
    Connect, // refused or unreachable
    ConnectTimeout,
    ProxyRefused,  // a SOCKS refusal, a wrong method, a failed authentication
    ProxyProtocol, // a proxy that closed or answered something that is not SOCKS
    ProxyTimeout,
    Argument, // a name, user name or password a SOCKS length byte cannot carry
    ReadTimeout,
    Receive,  // reset or other receive error
    TooLarge, // answer over the bound
    Send,
    Aborted,
};

class ExchangeError : public std::runtime_error {
public:
    ExchangeError(ExchangeFailure kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    ExchangeFailure kind() const noexcept { return kind_; }

private:
    ExchangeFailure kind_;
};

// One WHOIS conversation per call: connect (directly or through the proxy), send the
// query line with CR LF, read until the server closes. Throws ExchangeError.
class WhoisClient {
public:
    WhoisClient(SocksInfo socks, ExchangeLimits limits,
                std::shared_ptr<AbortHandle> abort = nullptr);

    std::string WhoisExchange(const std::string& host, int port, const std::string& queryLine);

    const SocksInfo& socks() const noexcept { return socks_; }
    const ExchangeLimits& limits() const noexcept { return limits_; }

private:
    SocksInfo socks_;
    ExchangeLimits limits_;
    std::shared_ptr<AbortHandle> abort_;
};

} // namespace tesseron
