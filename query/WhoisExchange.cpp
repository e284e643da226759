#include "query/WhoisExchange.h"

#include "query/AbortHandle.h"
#include "query/AddressBox.h"
#include "query/Socket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <poll.h>
#include <span>
#include <sys/mman.h>
#include <utility>
#include <vector>

namespace tesseron {

namespace {

constexpr std::size_t kMaxSocksField = 255; // one SOCKS 5 length byte
constexpr std::size_t kMaxHostName = 253;   // a DNS name without its final dot

using Clock = std::chrono::steady_clock;
// Typical answers fit the small buffer; a large answer is read in place after the first
// full read. Fresh memory is costly to touch, so small answers touch little.
constexpr std::size_t kSmallChunk = 16 * 1024;
constexpr std::size_t kReadChunk = 256 * 1024;
// The most room reserved ahead; an answer allowed to be longer grows past it as usual.
constexpr std::size_t kLargeReserve = std::size_t{64} << 20;

// "host:43", "[2001:db8::43]:43".
std::string HostPort(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool IsIPv6Literal(const std::string& host) {
    const auto a = LiteralAddress(host, 0);
    return a && a->family() == AF_INET6;
}

std::string SizeText(std::size_t bytes) {
    if (bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

[[noreturn]] void Throw(ExchangeFailure kind, const std::string& message) {
    throw ExchangeError(kind, message);
}

// "<reason> (code <n>)" for a proxy's refusal code.
std::string Refusal(std::span<const std::pair<unsigned char, const char*>> texts,
                    unsigned char code) {
    const char* reason = "unknown reply code";
    for (const auto& [known, text] : texts)
        if (known == code) reason = text;
    return std::string(reason) + " (code " + std::to_string(code) + ")";
}

constexpr std::pair<unsigned char, const char*> kSocks5Refusals[] = {
    {1, "general SOCKS server failure"}, {2, "connection not allowed by ruleset"},
    {3, "network unreachable"},          {4, "host unreachable"},
    {5, "connection refused"},           {6, "TTL expired"},
    {7, "command not supported"},        {8, "address type not supported"}};

constexpr std::pair<unsigned char, const char*> kSocks4Refusals[] = {
    {91, "request rejected or failed"},
    {92, "the proxy cannot reach the client's identd"},
    {93, "the client program and identd report different user ids"}};

const char* MethodName(unsigned char method) {
    return method == 2 ? "user name and password" : "no authentication";
}

// Touching fresh memory a small page at a time costs more than reading the answer off
// the socket; large pages cut the faults of a long answer five-hundredfold. Advice only:
// where the system declines, nothing changes.
void PreferHugePages(char* data, std::size_t size) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto from = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (from + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (from + size) & ~(kHuge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void AppendPort(std::string& out, int port) {
    out += static_cast<char>((port >> 8) & 0xff);
    out += static_cast<char>(port & 0xff);
}

// One exchange in progress: the connection, where it goes, and how long it may wait.
class Conversation {
public:
    Conversation(const SocksInfo& socks, const ExchangeLimits& limits, const AbortHandle* abort,
                 const ConnectToMap& connectTo, const std::string& host, int port)
        : socks_(socks), limits_(limits), abort_(abort), abortFd_(abort ? abort->fd() : -1),
          host_(host), port_(port), target_{host, port},
          deadline_(Clock::now() + std::chrono::milliseconds(limits.exchangeTimeoutMs)) {
        if (auto to = Redirected(connectTo, host, port)) {
            target_ = std::move(*to);
            redirected_ = true;
        }
        switch (socks.version) {
        case 1:
            proxyName_ = "SOCKS 4";
            break;
        case 2:
            proxyName_ = "SOCKS 4A";
            break;
        case 3:
            proxyName_ = "SOCKS 5";
            break;
        default:
            break;
        }
        if (viaProxy()) proxyLabel_ = proxyName_ + " proxy " + HostPort(socks.host, socks.port);
    }

    std::string Run(const std::string& queryLine) {
        CheckArguments(queryLine);
        if (viaProxy())
            Connect(socks_.host, socks_.port);
        else
            Connect(target_.host, target_.port);
        switch (socks_.version) {
        case 1:
            Socks4(false);
            break;
        case 2:
            Socks4(true);
            break;
        case 3:
            Socks5();
            break;
        default:
            break;
        }
        SendQuery(queryLine);
        return ReadAnswer();
    }

private:
    bool viaProxy() const { return !proxyName_.empty(); }
    std::string ServerLabel() const { return HostPort(host_, port_); }
    // Where the server is really reached, when the connect-to map sends it elsewhere.
    std::string TargetLabel() const {
        return redirected_ ? ServerLabel() + " (at " + HostPort(target_.host, target_.port) + ")"
                           : ServerLabel();
    }

    // The wait of one step: its own bound (0: none), cut to what is left of the exchange.
    int Timeout(int ms) const {
        const int own = ms > 0 ? ms : -1;
        if (limits_.exchangeTimeoutMs <= 0) return own;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
        const int cut = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        return own < 0 ? cut : std::min(own, cut);
    }
    // A wait cut to the deadline may end a moment early: the poll rounds to milliseconds.
    bool OverTime() const {
        return limits_.exchangeTimeoutMs > 0 &&
               Clock::now() + std::chrono::milliseconds(2) >= deadline_;
    }
    // A step that timed out because the whole exchange ran out of time says so.
    void CheckOverTime() const {
        if (OverTime())
            Throw(ExchangeFailure::ExchangeTimeout,
                  "The exchange with " + ServerLabel() + " took longer than " +
                      std::to_string(limits_.exchangeTimeoutMs) + " ms and was ended");
    }

    [[noreturn]] void Aborted() const {
        Throw(ExchangeFailure::Aborted, "The exchange with " + ServerLabel() + " was stopped");
    }

    // Whatever cannot be sent as it is fails before any connection is opened, so no server
    // or proxy ever sees half a request and the resolver never sees a name that is none.
    void CheckArguments(const std::string& queryLine) const {
        auto arg = [](const std::string& message) { Throw(ExchangeFailure::Argument, message); };
        if (port_ < 1 || port_ > 65535)
            arg("The port " + std::to_string(port_) + " of " + host_ + " is out of range");
        if (host_.empty()) arg("No WHOIS server was given");
        // What is checked from here on is what is resolved or sent: the server, or where
        // the connect-to map sends it.
        const std::string& host = target_.host;
        if (host.empty()) arg("The connect-to map sends " + ServerLabel() + " to no host");
        if (host.find('\0') != std::string::npos && socks_.version != 3)
            arg("The WHOIS server name contains a NUL byte");
        // A name the proxy resolves is held to the length of a DNS name only; one that our
        // resolver would see also to the length of its labels.
        const bool resolvedHere = socks_.version < 2 || socks_.version > 3;
        if (resolvedHere ? !FitsHostName(host) : host.size() > kMaxHostName)
            arg("The WHOIS server name of " + std::to_string(host.size()) +
                " characters is too long to be a host name");
        if (socks_.version == 1 && IsIPv6Literal(host))
            arg("SOCKS 4 cannot carry the IPv6 address " + host +
                "; use SOCKS 4A or SOCKS 5 to reach " + ServerLabel());
        // A CR or LF would make a second query line; no other control character belongs
        // in one either.
        if (HasControlCharacter(queryLine))
            arg("The query for " + ServerLabel() + " holds a control character");
        if (!viaProxy()) return;
        if (socks_.host.empty()) arg("No host is set for the " + proxyName_ + " proxy");
        if (socks_.host.find('\0') != std::string::npos)
            arg("The " + proxyName_ + " proxy name contains a NUL byte");
        if (!FitsHostName(socks_.host))
            arg("The " + proxyName_ + " proxy name is too long to be a host name");
        if (socks_.port < 1 || socks_.port > 65535)
            arg("The " + proxyName_ + " proxy port " + std::to_string(socks_.port) +
                " is out of range");
        if (socks_.version == 1 || socks_.version == 2) {
            // The user id ends at a zero byte (a longer one is cut when it is sent).
            if (socks_.userName.find('\0') != std::string::npos)
                arg("The proxy user name contains a NUL byte, which would end the " + proxyName_ +
                    " user id early");
            return;
        }
        // SOCKS 5 carries each of these after a length byte (a host name always fits).
        auto tooLong = [&](const std::string& what) {
            arg("The " + what + " is longer than 255 bytes, which " + proxyName_ + " cannot carry");
        };
        if (socks_.authentication == 1) {
            if (socks_.userName.size() > kMaxSocksField) tooLong("proxy user name");
            if (socks_.password.size() > kMaxSocksField) tooLong("proxy password");
        }
    }

    [[noreturn]] void ResolveFailed(const std::string& name, const std::string& why) const {
        Throw(ExchangeFailure::Resolve, "The host name " + name + " could not be resolved: " + why);
    }

    // SOCKS 4 carries an IPv4 address only.
    in_addr ResolveIPv4Only(const std::string& name) const {
        ResolveResult r = ResolveIPv4(name, abortFd_, Timeout(0));
        if (r.status == ResolveStatus::Aborted) Aborted();
        CheckOverTime();
        if (r.status != ResolveStatus::Ok) ResolveFailed(name, r.error);
        return r.address;
    }

    // Every address of the name, each tried in turn until one connects.
    void Connect(const std::string& name, int port) {
        ResolveAllResult resolved =
            ResolveAll(name, static_cast<uint16_t>(port), abortFd_, Timeout(0));
        if (resolved.status == ResolveStatus::Aborted) Aborted();
        CheckOverTime();
        if (resolved.status != ResolveStatus::Ok) ResolveFailed(name, resolved.error);
        const std::vector<NetAddress>& all = resolved.addresses;
        const int attempt = limits_.connectTimeoutMs > 0 ? limits_.connectTimeoutMs : -1;
        ConnectAnyResult c = ConnectAny(all, attempt, Timeout(0), abortFd_, socket_);
        std::string what = viaProxy() ? "the " + proxyLabel_ : TargetLabel();
        // The reason given is the last attempt's; with several, say which address it was.
        const std::string which = all.size() < 2 ? std::string()
                                                 : " (address " + std::to_string(c.index + 1) +
                                                       " of " + std::to_string(all.size()) + ", " +
                                                       AddressText(all[c.index]) + ")";
        const IoResult& r = c.io;
        switch (r.status) {
        case IoStatus::Ok:
            return;
        case IoStatus::Aborted:
            Aborted();
        case IoStatus::Timeout:
            CheckOverTime();
            Throw(ExchangeFailure::ConnectTimeout, "Connection to " + what + " timed out after " +
                                                       std::to_string(limits_.connectTimeoutMs) +
                                                       " ms" + which);
        default:
            if (r.error == ECONNREFUSED)
                Throw(ExchangeFailure::Connect, "Connection to " + what + " refused" + which);
            Throw(ExchangeFailure::Connect,
                  "Cannot connect to " + what + ": " + std::strerror(r.error) + which);
        }
    }

    void ProxySend(const std::string& request) {
        IoResult r = SendAll(socket_.get(), request.data(), request.size(),
                             Timeout(limits_.handshakeTimeoutMs), abortFd_);
        if (r.status == IoStatus::Ok) return;
        ProxyFailure(r);
    }

    std::string ProxyRead(std::size_t count) {
        std::string reply(count, '\0');
        IoResult r = ReceiveExact(socket_.get(), reply.data(), count,
                                  Timeout(limits_.handshakeTimeoutMs), abortFd_);
        if (r.status != IoStatus::Ok) ProxyFailure(r);
        return reply;
    }

    // A wait that ran out: the whole exchange's bound when that struck first, else `kind`,
    // saying "<what> <ms> ms".
    [[noreturn]] void TimedOut(ExchangeFailure kind, const std::string& what, int ms) const {
        CheckOverTime();
        Throw(kind, what + " " + std::to_string(ms) + " ms");
    }

    [[noreturn]] void ProxyFailure(const IoResult& r) const {
        switch (r.status) {
        case IoStatus::Aborted:
            Aborted();
        case IoStatus::Timeout:
            TimedOut(ExchangeFailure::ProxyTimeout, "The " + proxyLabel_ + " did not reply within",
                     limits_.handshakeTimeoutMs);
        case IoStatus::Closed:
            Throw(ExchangeFailure::ProxyProtocol,
                  "The " + proxyLabel_ + " closed the connection during the handshake");
        default:
            Throw(ExchangeFailure::Receive,
                  "The connection to the " + proxyLabel_ +
                      " failed during the handshake: " + std::strerror(r.error));
        }
    }

    [[noreturn]] void Refused(const std::string& reason) const {
        Throw(ExchangeFailure::ProxyRefused,
              "The " + proxyLabel_ + " refused the connection to " + ServerLabel() + ": " + reason);
    }

    void Socks4(bool remoteName) {
        std::string request{4, 1};
        AppendPort(request, target_.port);
        if (remoteName) {
            request += std::string{0, 0, 0, 1};
        } else {
            in_addr a = ResolveIPv4Only(target_.host);
            request.append(reinterpret_cast<const char*>(&a.s_addr), 4);
        }
        request.append(socks_.userName, 0, kMaxSocksField);
        request += '\0';
        if (remoteName) {
            request += target_.host;
            request += '\0';
        }
        ProxySend(request);
        auto code = static_cast<unsigned char>(ProxyRead(8)[1]);
        if (code != 90) Refused(Refusal(kSocks4Refusals, code));
    }

    void Socks5() {
        const unsigned char method = socks_.authentication == 1 ? 2 : 0;
        ProxySend(std::string{5, 1, static_cast<char>(method)});
        auto chosen = static_cast<unsigned char>(ProxyRead(2)[1]);
        if (chosen != method)
            Throw(ExchangeFailure::ProxyRefused,
                  "The " + proxyLabel_ + " does not accept the method " + MethodName(method));
        if (method == 2) {
            std::string auth{1};
            auth += static_cast<char>(socks_.userName.size());
            auth += socks_.userName;
            auth += static_cast<char>(socks_.password.size());
            auth += socks_.password;
            ProxySend(auth);
            if (ProxyRead(2)[1] != 0)
                Throw(ExchangeFailure::ProxyRefused,
                      "The " + proxyLabel_ + " rejected the user name and password");
        }
        // An IPv6 literal goes as its 16 bytes, since a proxy would have to guess that a
        // "name" with colons is an address; anything else goes as a name, as ever.
        std::string request{5, 1, 0};
        if (const auto v6 = LiteralAddress(target_.host, 0); v6 && v6->family() == AF_INET6) {
            request += static_cast<char>(4);
            const auto& sa = reinterpret_cast<const sockaddr_in6&>(v6->storage);
            request.append(reinterpret_cast<const char*>(&sa.sin6_addr), 16);
        } else {
            request += static_cast<char>(3);
            request += static_cast<char>(target_.host.size());
            request += target_.host;
        }
        AppendPort(request, target_.port);
        ProxySend(request);
        std::string head = ProxyRead(4);
        auto code = static_cast<unsigned char>(head[1]);
        if (code != 0) Refused(Refusal(kSocks5Refusals, code));
        // The bound address and port mean nothing to us but must be consumed in full.
        switch (static_cast<unsigned char>(head[3])) {
        case 1:
            ProxyRead(4 + 2);
            break;
        case 3:
            ProxyRead(static_cast<unsigned char>(ProxyRead(1)[0]) + 2);
            break;
        case 4:
            ProxyRead(16 + 2);
            break;
        default:
            Throw(ExchangeFailure::ProxyProtocol,
                  "The " + proxyLabel_ + " replied with the unknown address type " +
                      std::to_string(static_cast<unsigned char>(head[3])));
        }
    }

    void SendQuery(const std::string& queryLine) {
        std::string line = queryLine + "\r\n";
        IoResult r = SendAll(socket_.get(), line.data(), line.size(),
                             Timeout(limits_.readTimeoutMs), abortFd_);
        switch (r.status) {
        case IoStatus::Ok:
            return;
        case IoStatus::Aborted:
            Aborted();
        case IoStatus::Timeout:
            TimedOut(ExchangeFailure::Send,
                     "Sending the query to " + ServerLabel() + " did not finish within",
                     limits_.readTimeoutMs);
        default:
            Throw(ExchangeFailure::Send,
                  "Sending the query to " + ServerLabel() + " failed: " + std::strerror(r.error));
        }
    }

    // Small answers go through a buffer on the stack. Once one fills it, the answer's room
    // is reserved up to the bound at once and every read lands in place: no copy as it
    // grows, and only the pages the answer fills are ever touched.
    std::string ReadAnswer() {
        std::string answer;
        char small[kSmallChunk];
        bool large = false;
        for (;;) {
            // Reads that find data waiting do not poll, so the flag is checked here.
            if (abort_ && abort_->Aborted()) Aborted();
            CheckOverTime(); // a trickle never waits out the read time-out
            const std::size_t at = answer.size();
            const bool inPlace = large && answer.capacity() > at;
            const std::size_t room =
                inPlace ? std::min(kReadChunk, answer.capacity() - at) : kSmallChunk;
            if (inPlace) answer.resize(at + room);
            char* into = inPlace ? answer.data() + at : small;
            IoResult r =
                ReceiveSome(socket_.get(), into, room, Timeout(limits_.readTimeoutMs), abortFd_);
            if (inPlace) answer.resize(at + (r.status == IoStatus::Ok ? r.bytes : 0));
            switch (r.status) {
            case IoStatus::Ok:
                break;
            case IoStatus::Closed:
                return answer;
            case IoStatus::Aborted:
                Aborted();
            case IoStatus::Timeout:
                TimedOut(ExchangeFailure::ReadTimeout,
                         "No answer from " + ServerLabel() + " within", limits_.readTimeoutMs);
            default:
                Throw(ExchangeFailure::Receive, "Receiving the answer from " + ServerLabel() +
                                                    " failed: " + std::strerror(r.error));
            }
            if (r.bytes > limits_.maxAnswerBytes - at)
                Throw(ExchangeFailure::TooLarge, "The answer from " + ServerLabel() +
                                                     " is larger than " +
                                                     SizeText(limits_.maxAnswerBytes));
            if (!inPlace) answer.append(small, r.bytes);
            if (!large && r.bytes == kSmallChunk) {
                large = true;
                answer.reserve(std::min(limits_.maxAnswerBytes, kLargeReserve));
                PreferHugePages(answer.data(), answer.capacity());
            }
        }
    }

    const SocksInfo& socks_;
    const ExchangeLimits& limits_;
    const AbortHandle* abort_;
    int abortFd_;
    std::string host_;
    int port_;
    Endpoint target_; // where the connection really goes: host_:port_ unless redirected
    bool redirected_ = false;
    std::string proxyName_;
    std::string proxyLabel_;
    Clock::time_point deadline_;
    Socket socket_; // closed on every way out, failures included
};

} // namespace

ExchangeLimits LimitsForTimeout(int whoisTimeoutMs, ExchangeLimits base) {
    base.readTimeoutMs = whoisTimeoutMs;
    if (whoisTimeoutMs <= 0) {
        base.exchangeTimeoutMs = 0;
        return base;
    }
    base.handshakeTimeoutMs = whoisTimeoutMs;
    base.exchangeTimeoutMs = static_cast<int>(std::min<long long>(
        static_cast<long long>(whoisTimeoutMs) * kExchangeTimeoutFactor, INT_MAX));
    return base;
}

WhoisClient::WhoisClient(SocksInfo socks, ExchangeLimits limits, std::shared_ptr<AbortHandle> abort,
                         ConnectToMap connectTo)
    : socks_(std::move(socks)), limits_(limits), connectTo_(std::move(connectTo)),
      abort_(std::move(abort)) {}

std::string WhoisClient::WhoisExchange(const std::string& host, int port,
                                       const std::string& queryLine) {
    Conversation conversation(socks_, limits_, abort_.get(), connectTo_, host, port);
    if (abort_ && abort_->Aborted())
        Throw(ExchangeFailure::Aborted,
              "The exchange with " + HostPort(host, port) + " was stopped");
    return conversation.Run(queryLine);
}

} // namespace tesseron
