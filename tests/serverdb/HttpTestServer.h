#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tesseron::test {

// Loopback traffic never goes through a proxy that the environment of the run may name.
inline const bool kLoopbackDirect = [] {
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
    return true;
}();

// One answer of the test server: the parts of the response are sent with `delayMs`
// before each part after the first.
struct Route {
    int status = 200;
    std::vector<std::string> bodyParts;
    int delayMs = 0;
    std::string headers = ""; // more header lines, each ending in CR LF
};

// A tiny HTTP/1.0 server on 127.0.0.1 serving fixed routes, one connection at a time.
class HttpServer {
public:
    explicit HttpServer(std::map<std::string, Route> routes) : routes_(std::move(routes)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            throw std::runtime_error("test HTTP server could not listen");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HttpServer() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    int port() const noexcept { return port_; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    std::string LastRequest() const {
        std::lock_guard lock(mutex_);
        return lastRequest_;
    }

private:
    void Serve() {
        for (;;) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::string request;
            char buf[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                request.append(buf, static_cast<size_t>(n));
            }
            const auto start = request.find(' ') + 1;
            const auto path = request.substr(start, request.find(' ', start) - start);
            {
                std::lock_guard lock(mutex_);
                lastRequest_ = request;
            }
            const auto it = routes_.find(path);
            const Route route = it != routes_.end() ? it->second : Route{404, {"missing"}};
            std::string head = "HTTP/1.0 " + std::to_string(route.status) + " X\r\n";
            head += "Content-Type: text/html\r\nConnection: close\r\n" + route.headers + "\r\n";
            Send(c, head);
            for (size_t i = 0; i < route.bodyParts.size(); ++i) {
                if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(route.delayMs));
                Send(c, route.bodyParts[i]);
            }
            ::shutdown(c, SHUT_WR);
            while (::recv(c, buf, sizeof buf, 0) > 0) {
            }
            ::close(c);
        }
    }
    static void Send(int c, const std::string& data) {
        ::send(c, data.data(), data.size(), MSG_NOSIGNAL);
    }

    std::map<std::string, Route> routes_;
    mutable std::mutex mutex_;
    std::string lastRequest_;
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

} // namespace tesseron::test
