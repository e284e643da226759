#pragma once

// A loopback server for benchmarks: answers every connection with the same bytes after
// reading the query line, then closes. One connection at a time, on its own thread.
#include "desktop/NonCopyable.h"

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tesseron::bench {

class AnswerServer : NonCopyable {
public:
    explicit AnswerServer(std::string answer) : answer_(std::move(answer)) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            listen(fd_, 64) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        port_ = ntohs(sa.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~AnswerServer() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }

    int port() const { return port_; }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            char line[1024];
            [[maybe_unused]] auto n = recv(c, line, sizeof line, 0); // the query line
            for (std::size_t sent = 0; sent < answer_.size();) {
                const ssize_t k =
                    send(c, answer_.data() + sent, answer_.size() - sent, MSG_NOSIGNAL);
                if (k <= 0) break;
                sent += static_cast<std::size_t>(k);
            }
            close(c);
        }
    }

    std::string answer_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace tesseron::bench
