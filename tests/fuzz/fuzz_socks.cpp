// The SOCKS client handshake against a proxy on loopback whose replies are the fuzz input:
// the first byte picks SOCKS 4, 4A or 5 (with or without a password), the rest is all the
// proxy ever sends before it closes. The exchange either ends with an answer or with an
// ExchangeError; it never waits, since the proxy closes at once.

#include "query/WhoisExchange.h"
#include "tests/fuzz/FuzzInput.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

using namespace tesseron;

namespace {

struct Listener {
    int fd = -1;
    int port = 0;
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            ::listen(fd, 8) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            fuzz::Fail("a loopback listener");
        port = ntohs(a.sin_port);
    }
};

// Sends `replies`, closes its side for writing and reads until the client is done, so
// nothing unread resets the connection before the client has seen every byte.
void Proxy(int listenFd, std::string_view replies) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::size_t sent = 0;
    while (sent < replies.size()) {
        const auto n = ::send(fd, replies.data() + sent, replies.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
    char sink[512];
    while (::recv(fd, sink, sizeof sink, 0) > 0) {
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Listener listener;
    if (size < 1) return 0;
    SocksInfo socks;
    socks.version = static_cast<std::uint8_t>(1 + (data[0] & 3) % 3);
    socks.authentication = (data[0] & 0x10) ? 1 : 0;
    socks.host = "127.0.0.1";
    socks.port = listener.port;
    socks.userName = "user";
    socks.password = "secret";
    ExchangeLimits limits;
    limits.connectTimeoutMs = limits.handshakeTimeoutMs = limits.readTimeoutMs = 2000;
    limits.exchangeTimeoutMs = 5000;
    limits.maxAnswerBytes = 1024;

    const std::string_view replies(reinterpret_cast<const char*>(data + 1), size - 1);
    std::thread proxy(Proxy, listener.fd, replies);
    WhoisClient client(socks, limits);
    // The server is named by its address so that no resolver is ever asked; the proxy
    // is only told about it.
    const std::string host = (data[0] & 0x20) ? "127.0.0.1" : "whois.example";
    try {
        (void)client.WhoisExchange(socks.version == 1 ? "127.0.0.1" : host, 43, "example.com");
    } catch (const ExchangeError&) {
    }
    proxy.join();
    return 0;
}
