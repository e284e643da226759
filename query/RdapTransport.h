#pragma once

#include "query/HttpClient.h"
#include "query/Transport.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tesseron {

class AbortHandle;

struct RdapOptions {
    SocksInfo proxy; // SOCKS 4, 4A or 5 of the settings; none: the environment's proxy
    // totalTimeoutMs bounds each try of a question, its redirects included (the wait after
    // a 429 is apart); maxBodyBytes bounds the answer; maxRedirects is not used.
    HttpLimits limits;
    std::filesystem::path caFile; // trusted as well as the system's store when named
    ConnectToMap connectTo;       // where connections to named hosts really go
    int maxRedirects = 5;
    int maxRetryWaitSeconds = 60;    // a longer Retry-After is cut to this
    int defaultRetryWaitSeconds = 5; // a 429 without a readable Retry-After
    // Told on the asking thread as an attempt goes, for the run's log; each may be empty.
    std::function<void(const std::string& url)> asking;
    std::function<void(const std::string& from, const std::string& to)> redirected;
    std::function<void(int seconds)> waiting; // before the one retry after a 429
};

// RDAP over HTTPS or HTTP through the program's one HTTP client. The server address is a
// base URL ("https://rdap.example/base/"); a question asks base + "domain/NAME",
// "ip/ADDRESS", "ip/NETWORK/LENGTH" or "autnum/NUMBER", or the address itself when it
// already names an object (a registrar's record a registry's answer links to).
// Redirects are followed here, hop by hop, so none goes from https to plain http.
class RdapTransport final : public Transport {
public:
    explicit RdapTransport(RdapOptions options, std::shared_ptr<AbortHandle> abort = nullptr);

    // The server's JSON as sent, once it is known to be an RDAP object (it has an
    // "objectClassName"). Throws TransportError: NotFound for a 404, OverTime, Aborted,
    // Unsupported for a scheme other than http and https, Failed for anything else.
    std::string Ask(const ServerAddress& server, const Question& question) override;

    // The registrar's record that a domain answer links to (RdapRelatedLink).
    std::optional<std::string> Referral(std::string_view answer, QueryKind kind) const override;

    // The address and host of the last answer, after redirects.
    const std::string& AnsweredUrl() const noexcept { return answeredUrl_; }
    const std::string& AnsweredHost() const noexcept { return answeredHost_; }

    static bool Speaks(std::string_view scheme); // "https" and "http"

private:
    struct Hop;
    Hop Follow(std::string url);
    void WaitSeconds(int seconds) const;

    RdapOptions options_;
    std::shared_ptr<AbortHandle> abort_;
    std::string answeredUrl_, answeredHost_;
};

// The base URL of a server address: scheme, host, the port when named, the path ("/"
// when none).
std::string RdapBaseUrl(const ServerAddress& server);

// The address of `query` (a name in A-labels, an address, a network or an AS number, as
// ClassifyQuery reads it) at `baseUrl`; `baseUrl` itself when its path already names an
// object ("/domain/x", "/ip/x", "/autnum/x").
std::string RdapQueryUrl(std::string_view baseUrl, std::string_view query);

// The "href" of the first link of a domain answer with rel "related" and type
// "application/rdap+json" (letter case aside) that is an http or https address; nullopt
// for any other answer.
std::optional<std::string> RdapRelatedLink(std::string_view json);

// The seconds a Retry-After value asks for (delta seconds or an HTTP date, counted from
// `nowUnix`); nullopt when it is neither.
std::optional<long long> RetryAfterSeconds(std::string_view value, long long nowUnix);

} // namespace tesseron
