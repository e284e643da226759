#include "support/ScriptedHttpServer.h"

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace tesseron::test {

// A key and a self-signed certificate for 127.0.0.1, made in memory; the certificate is
// written out so that a client can trust it.
struct ScriptedHttpServer::Tls {
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    SSL_CTX* ctx = nullptr;

    Tls(const std::filesystem::path& certFile, const std::vector<std::string>& hostNames) {
        key = EVP_EC_gen("P-256");
        cert = X509_new();
        if (!key || !cert) throw std::runtime_error("cannot make a test key");
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_set_version(cert, 2);
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX v3;
        X509V3_set_ctx_nodb(&v3);
        X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
        std::string altNames = "IP:127.0.0.1";
        for (const auto& host : hostNames)
            altNames += ",DNS:" + host;
        for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, altNames.c_str()},
                                         std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
            X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
            X509_add_ext(cert, ext, -1);
            X509_EXTENSION_free(ext);
        }
        if (X509_sign(cert, key, EVP_sha256()) == 0) throw std::runtime_error("cannot sign");
        FILE* f = std::fopen(certFile.c_str(), "w");
        if (!f || PEM_write_X509(f, cert) != 1) throw std::runtime_error("cannot write cert");
        std::fclose(f);
        ctx = SSL_CTX_new(TLS_server_method());
        if (!ctx || SSL_CTX_use_certificate(ctx, cert) != 1 ||
            SSL_CTX_use_PrivateKey(ctx, key) != 1)
            throw std::runtime_error("cannot set up TLS");
    }
    ~Tls() {
        SSL_CTX_free(ctx);
        X509_free(cert);
        EVP_PKEY_free(key);
    }
};

namespace {

// One accepted connection, plain or TLS.
struct Connection {
    int fd;
    SSL* ssl = nullptr;

    ~Connection() {
        if (ssl) {
            SSL_shutdown(ssl);
            SSL_free(ssl);
        }
        ::close(fd);
    }
    // Waits for data or the stop pipe; false when stopped, closed or failed.
    bool Read(std::string& into, int stopFd) {
        if (!ssl || SSL_pending(ssl) == 0) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
            if (::poll(fds, 2, 10000) <= 0 || fds[1].revents) return false;
        }
        char buf[4096];
        const long n = ssl ? SSL_read(ssl, buf, sizeof buf) : ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        into.append(buf, static_cast<std::size_t>(n));
        return true;
    }
    void Write(const std::string& data) {
        if (ssl)
            SSL_write(ssl, data.data(), static_cast<int>(data.size()));
        else
            ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    }
};

// Sends all of `data` unless the client goes or the stop pipe is written; false then.
bool SendAll(int fd, std::string_view data, int stopFd) {
    while (!data.empty()) {
        pollfd fds[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
        if (::poll(fds, 2, 10000) <= 0 || fds[1].revents) return false;
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A streamed reply: its head, then `reply.stream` bytes of `reply.fill` in 64 KiB pieces.
void Stream(int fd, const Reply& reply, int stopFd) {
    std::string head = std::string(reply.chunked ? "HTTP/1.1 " : "HTTP/1.0 ") +
                       std::to_string(reply.status) + " X\r\n" + reply.headers;
    head += reply.chunked ? "Transfer-Encoding: chunked\r\n"
                          : "Content-Length: " + std::to_string(reply.stream) + "\r\n";
    if (!SendAll(fd, head + "Connection: close\r\n\r\n", stopFd)) return;
    constexpr std::size_t kPiece = 64 * 1024;
    const std::string piece(kPiece, reply.fill);
    for (std::size_t sent = 0; reply.stream == Reply::kEndless || sent < reply.stream;) {
        const std::size_t n = std::min(kPiece, reply.stream - sent);
        const std::string_view part(piece.data(), n);
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", n);
        if (reply.chunked && !(SendAll(fd, size, stopFd) && SendAll(fd, part, stopFd) &&
                               SendAll(fd, "\r\n", stopFd)))
            return;
        if (!reply.chunked && !SendAll(fd, part, stopFd)) return;
        if (reply.stream != Reply::kEndless) sent += n;
    }
    if (reply.chunked) SendAll(fd, "0\r\n\r\n", stopFd);
}

} // namespace

ScriptedHttpServer::ScriptedHttpServer(std::map<std::string, std::vector<Reply>> script, bool tls,
                                       const std::vector<std::string>& hostNames)
    : script_(std::move(script)) {
    // TLS writes go through write(), which has no MSG_NOSIGNAL: a client that gives up
    // mid-answer (a body over its bound) must not end the test program with SIGPIPE.
    if (tls) {
        std::signal(SIGPIPE, SIG_IGN);
        tls_ = std::make_unique<Tls>(caFile(), hostNames);
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::pipe(stop_) != 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) ||
        ::listen(fd_, 8) || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len))
        throw std::runtime_error("the scripted HTTP server could not listen");
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    (void)!::write(stop_[1], "x", 1);
    thread_.join();
    ::close(fd_);
    ::close(stop_[0]);
    ::close(stop_[1]);
}

std::string ScriptedHttpServer::Url(const std::string& path) const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> ScriptedHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void ScriptedHttpServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || fds[1].revents) return;
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) continue;
        Connection conn{c};
        if (tls_) {
            conn.ssl = SSL_new(tls_->ctx);
            SSL_set_fd(conn.ssl, c);
            if (SSL_accept(conn.ssl) != 1) continue; // a client that did not trust us
        }
        std::string request;
        while (request.find("\r\n\r\n") == std::string::npos)
            if (!conn.Read(request, stop_[0])) break;
        const auto start = request.find(' ') + 1;
        const auto path = request.substr(start, request.find(' ', start) - start);
        Reply reply{404, "{\"errorCode\":404,\"title\":\"Not Found\"}"};
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request.substr(0, request.find("\r\n\r\n")));
            if (const auto it = script_.find(path); it != script_.end() && !it->second.empty()) {
                std::size_t& n = served_[path];
                reply = it->second[std::min(n++, it->second.size() - 1)];
            }
        }
        if (reply.silent) {
            std::string ignored;
            while (conn.Read(ignored, stop_[0])) {
            }
            continue;
        }
        if (reply.stream > 0 && !tls_) {
            Stream(c, reply, stop_[0]);
            continue;
        }
        conn.Write("HTTP/1.0 " + std::to_string(reply.status) +
                   " X\r\nContent-Length: " + std::to_string(reply.body.size()) +
                   "\r\nConnection: close\r\n" + reply.headers + "\r\n" + reply.body);
        if (!tls_) ::shutdown(c, SHUT_WR);
    }
}

} // namespace tesseron::test
