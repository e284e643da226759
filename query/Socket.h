#pragma once

// A small layer over POSIX TCP sockets for the WHOIS exchange. Every wait is a poll that
// also watches an abort fd (-1: none), so another thread can end it at once. Sockets are
// non-blocking from creation; nothing here ever blocks outside poll.

#include "desktop/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <vector>

namespace tesseron {

// A socket is a file descriptor like any other: the one owner closes it.
using Socket = UniqueFd;

enum class WaitStatus { Ready, Timeout, Aborted };

// Waits until `events` are signalled on fd (errors and hang-ups count as ready), at most
// timeoutMs (negative: no limit). An interrupted poll resumes with the time left.
WaitStatus WaitFor(int fd, short events, int timeoutMs, int abortFd);

enum class ResolveStatus { Ok, Failed, Aborted };
struct ResolveResult {
    ResolveStatus status = ResolveStatus::Failed;
    in_addr address{};
    std::string error; // the resolver's reason when Failed
};

// A dotted IPv4 address is taken as is; any other name goes to the system resolver and
// the first IPv4 address is used. The look-up runs on a helper thread so that an abort
// or `timeoutMs` (negative: no limit) ends the wait; an abandoned look-up finishes on its
// own without touching the caller.
ResolveResult ResolveIPv4(const std::string& name, int abortFd, int timeoutMs = -1);

// A TCP endpoint of either family, port included.
struct NetAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const noexcept { return storage.ss_family; }
};

// "192.0.2.1:43" or "[2001:db8::1]:43".
std::string AddressText(const NetAddress& address);

// An IPv4 or IPv6 literal (no brackets) with `port`; nullopt for anything else.
std::optional<NetAddress> LiteralAddress(std::string_view host, uint16_t port);

struct ResolveAllResult {
    ResolveStatus status = ResolveStatus::Failed;
    std::vector<NetAddress> addresses; // never empty when Ok
    std::string error;                 // the resolver's reason when Failed
};

// Every address of `name` with `port`, IPv4 and IPv6, in the resolver's order; a literal
// of either family is taken as is without the resolver. Waits as ResolveIPv4 does.
ResolveAllResult ResolveAll(const std::string& name, uint16_t port, int abortFd,
                            int timeoutMs = -1);

enum class IoStatus { Ok, Closed, Timeout, Aborted, Error };
struct IoResult {
    IoStatus status = IoStatus::Ok;
    std::size_t bytes = 0; // bytes moved, also when the call failed part-way
    int error = 0;         // errno with Error
};

// Opens a TCP connection; `status` Ok leaves the connected socket in `out`.
IoResult ConnectTo(const NetAddress& address, int timeoutMs, int abortFd, Socket& out);
IoResult ConnectIPv4(in_addr address, uint16_t port, int timeoutMs, int abortFd, Socket& out);

struct ConnectAnyResult {
    IoResult io;           // of the attempt that connected, else of the last one made
    std::size_t index = 0; // that attempt's address
};

// Tries each address in turn, each attempt within attemptTimeoutMs and all of them within
// totalTimeoutMs (negative: no limit); the first that connects wins. An abort ends it at
// once. An empty list fails with EADDRNOTAVAIL.
ConnectAnyResult ConnectAny(const std::vector<NetAddress>& addresses, int attemptTimeoutMs,
                            int totalTimeoutMs, int abortFd, Socket& out);

// One receive once data is there, waiting at most timeoutMs. Closed: orderly close.
IoResult ReceiveSome(int fd, char* buffer, std::size_t size, int timeoutMs, int abortFd);
// Exactly `size` bytes; timeoutMs bounds the whole read.
IoResult ReceiveExact(int fd, char* buffer, std::size_t size, int timeoutMs, int abortFd);
// The whole buffer in one send call, more calls only after a short write.
IoResult SendAll(int fd, const char* data, std::size_t size, int timeoutMs, int abortFd);

} // namespace tesseron
