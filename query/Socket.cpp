#include "query/Socket.h"

#include "query/RunOffThread.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tesseron {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, or -1 for no limit (negative timeouts).
class Deadline {
public:
    explicit Deadline(int timeoutMs)
        : unlimited_(timeoutMs < 0), end_(Clock::now() + std::chrono::milliseconds(timeoutMs)) {}
    int Left() const {
        if (unlimited_) return -1;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

private:
    bool unlimited_;
    Clock::time_point end_;
};

bool WouldBlock(int err) {
    return err == EAGAIN || err == EWOULDBLOCK;
}

IoResult Fail(IoStatus status, std::size_t bytes, int error = 0) {
    return {status, bytes, error};
}

IoStatus FromWait(WaitStatus w) {
    return w == WaitStatus::Aborted ? IoStatus::Aborted : IoStatus::Timeout;
}

// The first IPv4 address the system resolver gives for `name`.
ResolveResult LookUpIPv4(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
    ResolveResult r;
    if (rc != 0) {
        r.error = rc == EAI_SYSTEM ? std::string("system error") : gai_strerror(rc);
        return r;
    }
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            r.address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
            r.status = ResolveStatus::Ok;
            break;
        }
    }
    if (r.status != ResolveStatus::Ok) r.error = "no IPv4 address";
    freeaddrinfo(list);
    return r;
}

// Every IPv4 and IPv6 address the system resolver gives for `name`, in its order.
ResolveAllResult LookUpAll(const std::string& name, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
    ResolveAllResult r;
    if (rc != 0) {
        r.error = rc == EAI_SYSTEM ? std::string("system error") : gai_strerror(rc);
        return r;
    }
    for (addrinfo* a = list; a; a = a->ai_next) {
        if (!a->ai_addr || (a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
            a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        NetAddress n;
        std::memcpy(&n.storage, a->ai_addr, a->ai_addrlen);
        n.length = a->ai_addrlen;
        if (a->ai_family == AF_INET)
            reinterpret_cast<sockaddr_in*>(&n.storage)->sin_port = htons(port);
        else
            reinterpret_cast<sockaddr_in6*>(&n.storage)->sin6_port = htons(port);
        r.addresses.push_back(n);
    }
    freeaddrinfo(list);
    if (r.addresses.empty())
        r.error = "no IPv4 or IPv6 address";
    else
        r.status = ResolveStatus::Ok;
    return r;
}

// A look-up on a helper thread, its way of ending told as a resolver result.
template <class R> R LookUpOffThread(std::function<R()> work, int abortFd, int timeoutMs) {
    auto r = RunOffThreadFor<R>(std::move(work), abortFd, timeoutMs);
    R out;
    switch (r.status) {
    case OffThreadStatus::Done:
        return std::move(*r.value);
    case OffThreadStatus::Aborted:
        out.status = ResolveStatus::Aborted;
        return out;
    case OffThreadStatus::Timeout:
        out.error = "the look-up took too long";
        return out;
    case OffThreadStatus::NoPipe:
        out.error = "cannot create a pipe";
        return out;
    case OffThreadStatus::NoThread:
        break;
    }
    out.error = "cannot start the look-up";
    return out;
}

} // namespace

WaitStatus WaitFor(int fd, short events, int timeoutMs, int abortFd) {
    Deadline deadline(timeoutMs);
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {abortFd, POLLIN, 0}};
        int rc = poll(fds, abortFd >= 0 ? 2 : 1, deadline.Left());
        if (rc < 0) {
            if (errno == EINTR) continue;
            // poll itself failing (out of memory) leaves nothing to wait on: report ready
            // and let the following call surface the error.
            return WaitStatus::Ready;
        }
        if (abortFd >= 0 && fds[1].revents) return WaitStatus::Aborted;
        if (rc == 0) return WaitStatus::Timeout;
        if (fds[0].revents) return WaitStatus::Ready;
    }
}

ResolveResult ResolveIPv4(const std::string& name, int abortFd, int timeoutMs) {
    ResolveResult direct;
    if (inet_pton(AF_INET, name.c_str(), &direct.address) == 1) {
        direct.status = ResolveStatus::Ok;
        return direct;
    }
    return LookUpOffThread<ResolveResult>([name] { return LookUpIPv4(name); }, abortFd, timeoutMs);
}

std::string AddressText(const NetAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.family() == AF_INET) {
        const auto& sa = reinterpret_cast<const sockaddr_in&>(address.storage);
        inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
        return std::string(text) + ":" + std::to_string(ntohs(sa.sin_port));
    }
    const auto& sa = reinterpret_cast<const sockaddr_in6&>(address.storage);
    inet_ntop(AF_INET6, &sa.sin6_addr, text, sizeof text);
    return "[" + std::string(text) + "]:" + std::to_string(ntohs(sa.sin6_port));
}

std::optional<NetAddress> LiteralAddress(std::string_view host, uint16_t port) {
    const std::string text(host); // inet_pton wants a terminated string
    NetAddress n;
    auto& v4 = reinterpret_cast<sockaddr_in&>(n.storage);
    if (inet_pton(AF_INET, text.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        n.length = sizeof v4;
        return n;
    }
    auto& v6 = reinterpret_cast<sockaddr_in6&>(n.storage);
    if (inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        n.length = sizeof v6;
        return n;
    }
    return std::nullopt;
}

ResolveAllResult ResolveAll(const std::string& name, uint16_t port, int abortFd, int timeoutMs) {
    if (auto literal = LiteralAddress(name, port)) return {ResolveStatus::Ok, {*literal}, {}};
    return LookUpOffThread<ResolveAllResult>([name, port] { return LookUpAll(name, port); },
                                             abortFd, timeoutMs);
}

IoResult ConnectTo(const NetAddress& address, int timeoutMs, int abortFd, Socket& out) {
    Socket s(socket(address.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s) return Fail(IoStatus::Error, 0, errno);
    if (connect(s.get(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) !=
        0) {
        if (errno != EINPROGRESS && errno != EINTR) return Fail(IoStatus::Error, 0, errno);
        WaitStatus w = WaitFor(s.get(), POLLOUT, timeoutMs, abortFd);
        if (w != WaitStatus::Ready) return Fail(FromWait(w), 0);
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        if (err != 0) return Fail(IoStatus::Error, 0, err);
    }
    out = std::move(s);
    return {};
}

IoResult ConnectIPv4(in_addr address, uint16_t port, int timeoutMs, int abortFd, Socket& out) {
    NetAddress n;
    auto& sa = reinterpret_cast<sockaddr_in&>(n.storage);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = address;
    n.length = sizeof sa;
    return ConnectTo(n, timeoutMs, abortFd, out);
}

ConnectAnyResult ConnectAny(const std::vector<NetAddress>& addresses, int attemptTimeoutMs,
                            int totalTimeoutMs, int abortFd, Socket& out) {
    ConnectAnyResult r{Fail(IoStatus::Error, 0, EADDRNOTAVAIL), 0};
    Deadline total(totalTimeoutMs);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const int left = total.Left();
        if (i > 0 && left == 0) break; // the last attempt's reason stands
        const int wait = attemptTimeoutMs < 0 ? left
                         : left < 0           ? attemptTimeoutMs
                                              : std::min(left, attemptTimeoutMs);
        r = {ConnectTo(addresses[i], wait, abortFd, out), i};
        if (r.io.status == IoStatus::Ok || r.io.status == IoStatus::Aborted) break;
    }
    return r;
}

IoResult ReceiveSome(int fd, char* buffer, std::size_t size, int timeoutMs, int abortFd) {
    Deadline deadline(timeoutMs);
    for (;;) {
        // Data already there is taken without a poll; callers that loop check their abort
        // flag themselves so a peer that never pauses cannot starve it.
        ssize_t n = recv(fd, buffer, size, 0);
        if (n > 0) return {IoStatus::Ok, static_cast<std::size_t>(n), 0};
        if (n == 0) return Fail(IoStatus::Closed, 0);
        if (errno == EINTR) continue;
        if (!WouldBlock(errno)) return Fail(IoStatus::Error, 0, errno);
        WaitStatus w = WaitFor(fd, POLLIN, deadline.Left(), abortFd);
        if (w != WaitStatus::Ready) return Fail(FromWait(w), 0);
    }
}

IoResult ReceiveExact(int fd, char* buffer, std::size_t size, int timeoutMs, int abortFd) {
    Deadline deadline(timeoutMs);
    std::size_t got = 0;
    while (got < size) {
        IoResult r = ReceiveSome(fd, buffer + got, size - got, deadline.Left(), abortFd);
        if (r.status != IoStatus::Ok) return Fail(r.status, got, r.error);
        got += r.bytes;
    }
    return {IoStatus::Ok, got, 0};
}

IoResult SendAll(int fd, const char* data, std::size_t size, int timeoutMs, int abortFd) {
    Deadline deadline(timeoutMs);
    std::size_t sent = 0;
    while (sent < size) {
        ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (!WouldBlock(errno)) return Fail(IoStatus::Error, sent, errno);
        WaitStatus w = WaitFor(fd, POLLOUT, deadline.Left(), abortFd);
        if (w != WaitStatus::Ready) return Fail(FromWait(w), sent);
    }
    return {IoStatus::Ok, sent, 0};
}

} // namespace tesseron
