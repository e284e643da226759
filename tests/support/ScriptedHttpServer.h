#pragma once

#include "desktop/NonCopyable.h"
#include "support/TempDir.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tesseron::test {

// One reply of the scripted server.
struct Reply {
    int status = 200;
    std::string body = "";
    std::string headers = ""; // more header lines, each ending in CR LF
    bool silent = false;      // read the request and never answer
    // More than `body`: this many bytes of `fill` after the head, produced as they are sent
    // (kEndless: until the client goes or the server stops), chunked over HTTP/1.1 when
    // `chunked`, with a Content-Length otherwise. Plain HTTP only.
    std::size_t stream = 0;
    bool chunked = false;
    char fill = '[';
    static constexpr std::size_t kEndless = static_cast<std::size_t>(-1);
};

// An HTTP/1.0 server on 127.0.0.1, plain or over TLS with a certificate for 127.0.0.1 it
// makes itself (and for `hostNames`, so names sent here by a connect-to map verify too).
// Each path has a script of replies, given in turn; the last one repeats. A path without a
// script gets 404. One connection at a time.
class ScriptedHttpServer : NonCopyable {
public:
    explicit ScriptedHttpServer(std::map<std::string, std::vector<Reply>> script, bool tls = false,
                                const std::vector<std::string>& hostNames = {});
    ~ScriptedHttpServer();

    std::string Url(const std::string& path) const;
    int port() const { return port_; }
    // The certificate to trust (TLS only).
    std::filesystem::path caFile() const { return dir_ / "cert.pem"; }
    // The requests received so far, head only, in order.
    std::vector<std::string> Requests() const;

private:
    void Serve();

    struct Tls;
    TempDir dir_;
    std::unique_ptr<Tls> tls_;
    std::map<std::string, std::vector<Reply>> script_;
    std::map<std::string, std::size_t> served_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
};

} // namespace tesseron::test
