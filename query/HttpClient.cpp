#include "query/HttpClient.h"

#include "query/AbortHandle.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace tesseron {
namespace {

struct EasyDeleter {
    void operator()(CURL* h) const noexcept { curl_easy_cleanup(h); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const noexcept { curl_slist_free_all(l); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const noexcept { curl_multi_cleanup(m); }
};

// curl_global_init is not thread-safe in every libcurl build, so it runs once.
void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw std::runtime_error("The network library could not be initialised.");
    });
}

constexpr std::size_t kSmallBody = 64 * 1024;
// The most room reserved ahead; a body allowed to be longer grows past it as usual.
constexpr std::size_t kLargeReserve = std::size_t{64} << 20;

struct Transfer {
    const HttpRequest& request;
    const AbortHandle* abort;
    std::string& body;
    bool tooLarge = false;
    std::exception_ptr error =
        nullptr; // from the progress step; it must not unwind through libcurl

    bool Aborted() const { return abort && abort->Aborted(); }
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t.Aborted()) return 0;
    if (n > t.request.limits.maxBodyBytes - t.body.size()) {
        t.tooLarge = true;
        return 0;
    }
    // Once a body outgrows a small answer, its room is reserved up to the bound at once:
    // no copy as it grows, so a body near the bound is never held twice, and only the
    // pages it fills are touched.
    if (t.body.size() + n > kSmallBody && t.body.capacity() < t.body.size() + n)
        t.body.reserve(
            std::max(t.body.size() + n, std::min(t.request.limits.maxBodyBytes, kLargeReserve)));
    t.body.append(data, n);
    try {
        if (t.request.progress) t.request.progress(n, t.body.size());
    } catch (...) {
        t.error = std::current_exception();
        return 0;
    }
    return t.Aborted() ? 0 : n; // a progress step may stop the transfer
}

int OnTick(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->Aborted() ? 1 : 0;
}

// The host part of an address, or "" when it has none.
std::string HostOf(const std::string& url) {
    std::string host;
    if (CURLU* u = curl_url()) {
        char* part = nullptr;
        if (curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_HOST, &part, 0) == CURLUE_OK && part && *part)
            host = part;
        curl_free(part);
        curl_url_cleanup(u);
    }
    return host;
}

HttpFailure FailureOf(CURLcode code, long osError) {
    switch (code) {
    case CURLE_OK:
        return HttpFailure::None;
    case CURLE_COULDNT_CONNECT:
        return osError == ECONNREFUSED ? HttpFailure::Refused : HttpFailure::Other;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return HttpFailure::HostNotFound;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpFailure::TimedOut;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
        return HttpFailure::Insecure;
    default:
        return HttpFailure::Other;
    }
}

// The proxy of the settings, or an empty text when it can be used; versions other than
// 1 to 3 leave libcurl to the environment's proxy.
std::string UseProxy(CURL* h, const SocksInfo& p) {
    long type = 0;
    const char* name = "";
    switch (p.version) {
    case 1:
        type = CURLPROXY_SOCKS4; // the name is resolved here
        name = "SOCKS 4";
        break;
    case 2:
        type = CURLPROXY_SOCKS4A;
        name = "SOCKS 4A";
        break;
    case 3:
        type = CURLPROXY_SOCKS5_HOSTNAME; // the proxy resolves, as for the WHOIS exchange
        name = "SOCKS 5";
        break;
    default:
        return {};
    }
    // An empty proxy name would make libcurl connect directly.
    if (p.host.empty()) return std::string("No host is set for the ") + name + " proxy";
    if (p.port < 1 || p.port > 65535)
        return std::string("The ") + name + " proxy port " + std::to_string(p.port) +
               " is out of range";
    curl_easy_setopt(h, CURLOPT_PROXY, p.host.c_str());
    curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(p.port));
    curl_easy_setopt(h, CURLOPT_PROXYTYPE, type);
    curl_easy_setopt(h, CURLOPT_NOPROXY, ""); // every host through it, loopback too
    // SOCKS 4 and 4A always send the user id; SOCKS 5 logs in when asked to.
    if (p.version != 3 ? !p.userName.empty() : p.authentication == 1) {
        curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, p.userName.c_str());
        if (p.version == 3) curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, p.password.c_str());
    }
    return {};
}

// The map in libcurl's words: "HOST:PORT:TOHOST:TOPORT", an empty port for any or the
// same, an IPv6 host in brackets.
std::unique_ptr<curl_slist, ListDeleter> CurlConnectTo(const ConnectToMap& map) {
    auto part = [](const std::string& host) {
        return host.find(':') != std::string::npos ? "[" + host + "]" : host;
    };
    auto port = [](int p) { return p != 0 ? std::to_string(p) : std::string(); };
    std::unique_ptr<curl_slist, ListDeleter> list;
    for (const ConnectTo& e : map) {
        const std::string line =
            part(e.host) + ":" + port(e.port) + ":" + part(e.toHost) + ":" + port(e.toPort);
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (!grown) throw std::runtime_error("The network library could not start a transfer.");
        list.release();
        list.reset(grown);
    }
    return list;
}

long Milliseconds(int ms) {
    return ms > 0 ? static_cast<long>(ms) : 0L;
}

} // namespace

HttpResponse HttpGet(const HttpRequest& request, const AbortHandle* abort) {
    InitCurlOnce();
    HttpResponse out;
    out.host = HostOf(request.url);
    if (out.host.empty()) out.host = request.url;
    if (abort && abort->Aborted()) {
        out.failure = HttpFailure::Aborted;
        out.detail = "The transfer was stopped";
        return out;
    }
    const auto connectTo = CurlConnectTo(request.connectTo); // outlives the easy handle
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi)
        throw std::runtime_error("The network library could not start a transfer.");
    CURL* h = easy.get();
    Transfer t{request, abort, out.body};
    const HttpLimits& limits = request.limits;

    if (auto refused = UseProxy(h, request.proxy); !refused.empty()) {
        out.failure = HttpFailure::Other;
        out.detail = std::move(refused);
        return out;
    }
    if (connectTo) curl_easy_setopt(h, CURLOPT_CONNECT_TO, connectTo.get());
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Tesseron");
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, limits.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
    // An abort during a name look-up leaves the look-up behind instead of waiting for it.
    curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
#endif
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(limits.connectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, Milliseconds(limits.totalTimeoutMs));
    if (limits.stallTimeoutMs > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                         static_cast<long>((limits.stallTimeoutMs + 999) / 1000));
    }
    // A body announced as larger than the bound is refused before any of it is read.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<std::size_t>(
                         limits.maxBodyBytes, std::numeric_limits<curl_off_t>::max())));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnTick);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    // The named file replaces the system's bundle file only: the system's certificate folder
    // (the library's CA path) stays in use, so the file's CAs are trusted as well.
    if (!request.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, request.caFile.c_str());
    curl_slist* lines = nullptr;
    for (const std::string& line : request.headers)
        if (curl_slist* grown = curl_slist_append(lines, line.c_str())) lines = grown;
    const std::unique_ptr<curl_slist, ListDeleter> headers(lines);
    if (lines) curl_easy_setopt(h, CURLOPT_HTTPHEADER, lines);
    char details[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, details);

    // The multi interface lets the wait watch the abort fd beside libcurl's own sockets.
    CURLM* m = multi.get();
    curl_multi_add_handle(m, h);
    CURLcode code = CURLE_OK;
    bool aborted = false;
    for (int running = 1;;) {
        if (curl_multi_perform(m, &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        if (t.Aborted()) {
            aborted = true;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(m, &left))
                if (msg->msg == CURLMSG_DONE) code = msg->data.result;
            break;
        }
        curl_waitfd stop{abort ? abort->fd() : -1, CURL_WAIT_POLLIN, 0};
        curl_multi_poll(m, abort ? &stop : nullptr, abort ? 1u : 0u, 1000, nullptr);
    }

    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &out.status);
    char* effective = nullptr; // after redirects, the host that answered or failed
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        if (std::string host = HostOf(effective); !host.empty()) out.host = std::move(host);
    const auto text = [&](CURLINFO info) {
        char* value = nullptr;
        return curl_easy_getinfo(h, info, &value) == CURLE_OK && value ? std::string(value)
                                                                       : std::string();
    };
    out.contentType = text(CURLINFO_CONTENT_TYPE);
    out.location = text(CURLINFO_REDIRECT_URL);
    if (curl_header* retry = nullptr;
        curl_easy_header(h, "Retry-After", 0, CURLH_HEADER, -1, &retry) == CURLHE_OK && retry)
        out.retryAfter = retry->value;
    long osError = 0;
    curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osError);
    curl_multi_remove_handle(m, h);
    if (t.error) std::rethrow_exception(t.error);

    if (aborted || t.Aborted()) {
        out.failure = HttpFailure::Aborted;
        out.detail = "The transfer was stopped";
    } else if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        out.failure = HttpFailure::TooLarge;
        out.detail = "The body is larger than " + std::to_string(limits.maxBodyBytes) + " bytes";
    } else {
        out.failure = FailureOf(code, osError);
        if (out.failure != HttpFailure::None)
            out.detail = *details ? details : curl_easy_strerror(code);
    }
    return out;
}

} // namespace tesseron
