#include "query/Socket.h"

#include "query/RunOffThread.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
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
ResolveResult LookUp(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
    ResolveResult r;
    if (rc != 0) {
        r.error = rc == EAI_SYSTEM ? std::string("system error") : gai_strerror(rc);
    } else {
        for (addrinfo* a = list; a; a = a->ai_next) {
            if (a->ai_family == AF_INET && a->ai_addr) {
                r.address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
                r.status = ResolveStatus::Ok;
                break;
            }
        }
        if (r.status != ResolveStatus::Ok) r.error = "no IPv4 address";
        freeaddrinfo(list);
    }
    return r;
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
    auto r = RunOffThreadFor<ResolveResult>([name] { return LookUp(name); }, abortFd, timeoutMs);
    switch (r.status) {
    case OffThreadStatus::Done:
        return std::move(*r.value);
    case OffThreadStatus::Aborted:
        return {ResolveStatus::Aborted, {}, {}};
    case OffThreadStatus::Timeout:
        return {ResolveStatus::Failed, {}, "the look-up took too long"};
    case OffThreadStatus::NoPipe:
        return {ResolveStatus::Failed, {}, "cannot create a pipe"};
    case OffThreadStatus::NoThread:
        break;
    }
    return {ResolveStatus::Failed, {}, "cannot start the look-up"};
}

IoResult ConnectIPv4(in_addr address, uint16_t port, int timeoutMs, int abortFd, Socket& out) {
    Socket s(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!s) return Fail(IoStatus::Error, 0, errno);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = address;
    if (connect(s.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
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
