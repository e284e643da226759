#pragma once

// The program's one HTTP client: a GET over HTTP or HTTPS through libcurl, stopped at once
// by the same AbortHandle as the sockets of a run.

#include "query/ConnectTo.h"
#include "query/SocksInfo.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tesseron {

class AbortHandle;

struct HttpLimits {
    int connectTimeoutMs = 30000;
    // A transfer that moves no byte for this long is given up (whole seconds); 0: no limit.
    int stallTimeoutMs = 60000;
    int totalTimeoutMs = 0; // the whole transfer, redirects included; 0: no limit
    std::size_t maxBodyBytes = std::size_t{64} << 20;
    int maxRedirects = 10;
};

struct HttpRequest {
    std::string url;
    // SOCKS 4, 4A or 5 of the settings; with version 0 (or any other) the proxy of the
    // environment (http_proxy, https_proxy, all_proxy, no_proxy), if any.
    SocksInfo proxy;
    // Where a connection to a named host really goes, before any look-up; through a proxy,
    // the host handed to the proxy.
    ConnectToMap connectTo;
    std::filesystem::path caFile; // trusted as well as the system's store when named
    HttpLimits limits;
    std::vector<std::string> headers; // more request header lines, "Name: value"
    // After each piece of the body: its size and the bytes so far. On the calling thread.
    std::function<void(std::size_t piece, std::size_t total)> progress;
};

enum class HttpFailure {
    None,
    Refused,
    HostNotFound,
    TimedOut,
    Insecure,
    TooLarge,
    Aborted,
    Other
};

struct HttpResponse {
    HttpFailure failure = HttpFailure::None;
    std::string detail; // why, in the network library's words; empty without a failure
    std::string host;   // the host asked last, after redirects
    long status = 0;    // of the last response; 0 when none came
    std::string body;   // whatever the status; what arrived of a transfer that broke off
    // Of the last response: its Content-Type and Retry-After ("" when absent), and where
    // a redirect that was not followed (maxRedirects 0) points, as an absolute address.
    std::string contentType;
    std::string retryAfter;
    std::string location;
};

// Follows redirects (HTTP and HTTPS only) up to the bound, sends "Tesseron" as the agent.
// Network failures are told in the response; throws std::runtime_error only when the
// network library cannot start, and passes on what the progress step throws.
HttpResponse HttpGet(const HttpRequest& request, const AbortHandle* abort = nullptr);

} // namespace tesseron
