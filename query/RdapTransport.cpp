#include "query/RdapTransport.h"

#include "query/AbortHandle.h"
#include "query/QueryText.h"
#include "query/RdapRender.h"

#include <simdjson.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <set>
#include <thread>

namespace tesseron {
namespace {

using Clock = std::chrono::steady_clock;

bool StartsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        const char c = text[i];
        if (((c >= 'A' && c <= 'Z') ? c + 32 : c) != lowerPrefix[i]) return false;
    }
    return true;
}

bool IsHttps(std::string_view url) {
    return StartsWithIgnoringCase(url, "https://");
}

bool SameIgnoringCase(std::string_view a, std::string_view lowerB) {
    return a.size() == lowerB.size() && StartsWithIgnoringCase(a, lowerB);
}

// A path segment with every byte outside the unreserved set percent-encoded, so a name
// can never add a segment, a query or a fragment to the address.
std::string EncodeSegment(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// Whether an address's path already names an object: "/domain/x", "/ip/x", "/autnum/x".
bool NamesObject(std::string_view url) {
    if (const auto scheme = url.find("://"); scheme != std::string_view::npos)
        url.remove_prefix(scheme + 3);
    const auto slash = url.find('/');
    if (slash == std::string_view::npos) return false;
    std::string_view path = url.substr(slash, url.find_first_of("?#", slash) - slash);
    for (const std::string_view kind : {"/domain/", "/ip/", "/autnum/"})
        if (const auto at = path.rfind(kind);
            at != std::string_view::npos && at + kind.size() < path.size())
            return true;
    return false;
}

// The body's fault as an RDAP answer, "" when it is a JSON object with an objectClassName.
// JSON deeper than the renderer reads is refused here, so that no answer is taken that
// would show as nothing.
std::string RdapFault(const std::string& body, const std::string& contentType) {
    simdjson::dom::parser parser;
    simdjson::dom::element doc;
    auto e = parser.allocate(body.size(), kRdapMaxDepth);
    if (!e) e = parser.parse(body).get(doc);
    if (e == simdjson::DEPTH_ERROR)
        return "is JSON nested deeper than " + std::to_string(kRdapMaxDepth) +
               " levels, which is not read";
    if (e)
        return std::string("is not JSON (") + simdjson::error_message(e) +
               (contentType.empty() ? "" : ", sent as " + contentType) + ")";
    std::string_view name;
    if (doc["objectClassName"].get_string().get(name) || name.empty())
        return "is JSON without an \"objectClassName\", not an RDAP object";
    return {};
}

// The RDAP error's own words ("title", "description"), if the body is one.
std::string ErrorWords(const std::string& body) {
    simdjson::dom::parser parser;
    simdjson::dom::element doc;
    if (parser.parse(body).get(doc)) return {};
    std::string words;
    std::string_view title;
    if (!doc["title"].get_string().get(title)) words = std::string(title);
    simdjson::dom::array lines;
    if (!doc["description"].get_array().get(lines))
        for (const auto line : lines) {
            std::string_view text;
            if (line.get_string().get(text)) continue;
            if (!words.empty()) words += ": ";
            words += text;
        }
    return words.size() > 300 ? words.substr(0, 300) : words;
}

} // namespace

struct RdapTransport::Hop {
    HttpResponse response;
    std::string url;
};

RdapTransport::RdapTransport(RdapOptions options, std::shared_ptr<AbortHandle> abort)
    : options_(std::move(options)), abort_(std::move(abort)) {}

bool RdapTransport::Speaks(std::string_view scheme) {
    return scheme == "https" || scheme == "http";
}

std::string RdapBaseUrl(const ServerAddress& server) {
    std::string url = server.scheme + "://" + server.host;
    if (server.portGiven) url += ":" + std::to_string(server.port);
    url += server.path.empty() ? "/" : server.path;
    return url;
}

std::string RdapQueryUrl(std::string_view baseUrl, std::string_view query) {
    std::string url(baseUrl);
    if (NamesObject(url)) return url;
    if (url.empty() || url.back() != '/') url += '/';
    const QueryText q = ClassifyQuery(query);
    switch (q.kind) {
    case QueryKind::IPv4Address:
    case QueryKind::IPv6Address:
    case QueryKind::IPv4Network:
    case QueryKind::IPv6Network:
        return url + "ip/" + q.canonical;
    case QueryKind::ASNumber:
        return url + "autnum/" + std::to_string(q.asNumber);
    case QueryKind::Empty:
    case QueryKind::Name:
        break;
    }
    return url + "domain/" + EncodeSegment(q.canonical);
}

std::optional<long long> RetryAfterSeconds(std::string_view value, long long nowUnix) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
        value.remove_suffix(1);
    if (value.empty()) return std::nullopt;
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return value.size() > 9 ? 999999999LL : std::stoll(std::string(value));
    std::tm tm{};
    const std::string text(value);
    const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm);
    if (!end || *end) return std::nullopt;
    return std::max(0LL, static_cast<long long>(timegm(&tm)) - nowUnix);
}

std::optional<std::string> RdapRelatedLink(std::string_view json) {
    simdjson::dom::parser parser;
    simdjson::dom::element doc;
    std::string_view kind;
    simdjson::dom::array links;
    if (parser.parse(json.data(), json.size()).get(doc) ||
        doc["objectClassName"].get_string().get(kind) || kind != "domain" ||
        doc["links"].get_array().get(links))
        return std::nullopt;
    for (const auto link : links) {
        std::string_view rel, type, href;
        if (link["rel"].get_string().get(rel) || link["type"].get_string().get(type) ||
            link["href"].get_string().get(href))
            continue;
        if (SameIgnoringCase(rel, "related") &&
            StartsWithIgnoringCase(type, "application/rdap+json") &&
            (StartsWithIgnoringCase(href, "https://") || StartsWithIgnoringCase(href, "http://")))
            return std::string(href);
    }
    return std::nullopt;
}

std::optional<std::string> RdapTransport::Referral(std::string_view answer, QueryKind) const {
    return RdapRelatedLink(answer);
}

void RdapTransport::WaitSeconds(int seconds) const {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    for (auto now = Clock::now(); now < until; now = Clock::now()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
        if (!abort_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(left));
            continue;
        }
        pollfd stop{abort_->fd(), POLLIN, 0};
        ::poll(&stop, 1, static_cast<int>(left));
        if (abort_->Aborted()) break;
    }
    if (abort_ && abort_->Aborted())
        throw TransportError(TransportFailure::Aborted, "The wait was stopped");
}

RdapTransport::Hop RdapTransport::Follow(std::string url) {
    const int budget = options_.limits.totalTimeoutMs;
    const auto deadline = Clock::now() + std::chrono::milliseconds(budget);
    std::set<std::string> seen{url};
    for (int redirects = 0;; ++redirects) {
        HttpRequest request;
        request.url = url;
        request.proxy = options_.proxy;
        request.caFile = options_.caFile;
        request.connectTo = options_.connectTo;
        request.limits = options_.limits;
        request.limits.maxRedirects = 0;
        request.headers = {"Accept: application/rdap+json"};
        if (budget > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                throw TransportError(TransportFailure::OverTime,
                                     "No answer from " + url + " within the time-out");
            request.limits.totalTimeoutMs = static_cast<int>(left.count());
        }
        if (options_.asking) options_.asking(url);
        HttpResponse r = HttpGet(request, abort_.get());
        switch (r.failure) {
        case HttpFailure::None:
            break;
        case HttpFailure::Aborted:
            throw TransportError(TransportFailure::Aborted, r.detail);
        case HttpFailure::TimedOut:
            throw TransportError(TransportFailure::OverTime,
                                 "No answer from " + r.host + " within the time-out");
        case HttpFailure::TooLarge:
            throw TransportError(TransportFailure::Failed,
                                 "The answer of " + r.host + " is larger than " +
                                     std::to_string(request.limits.maxBodyBytes) + " bytes");
        default:
            throw TransportError(TransportFailure::Failed, r.host + ": " + r.detail);
        }
        const bool redirect = r.status == 301 || r.status == 302 || r.status == 303 ||
                              r.status == 307 || r.status == 308;
        if (!redirect || r.location.empty()) return {std::move(r), std::move(url)};
        if (redirects >= options_.maxRedirects)
            throw TransportError(TransportFailure::Failed,
                                 "More than " + std::to_string(options_.maxRedirects) +
                                     " redirects, the last to " + r.location);
        if (IsHttps(url) && !IsHttps(r.location))
            throw TransportError(TransportFailure::Failed,
                                 "A redirect from https to " + r.location + " was refused");
        if (!seen.insert(r.location).second)
            throw TransportError(TransportFailure::Failed,
                                 "The redirects go round in a loop at " + r.location);
        if (options_.redirected) options_.redirected(url, r.location);
        url = r.location;
    }
}

std::string RdapTransport::Ask(const ServerAddress& server, const Question& question) {
    if (!Speaks(server.scheme))
        throw TransportError(TransportFailure::Unsupported, "The address scheme " + server.scheme +
                                                                ":// of " + server.host +
                                                                " is not RDAP");
    const std::string url = RdapQueryUrl(RdapBaseUrl(server), question.query);
    Hop hop = Follow(url);
    if (hop.response.status == 429) {
        const auto asked = RetryAfterSeconds(hop.response.retryAfter, std::time(nullptr));
        const int seconds = static_cast<int>(std::clamp<long long>(
            asked.value_or(options_.defaultRetryWaitSeconds), 0, options_.maxRetryWaitSeconds));
        if (options_.waiting) options_.waiting(seconds);
        WaitSeconds(seconds);
        hop = Follow(url);
    }
    const HttpResponse& r = hop.response;
    answeredUrl_ = hop.url;
    answeredHost_ = r.host;
    if (r.status == 404)
        throw TransportError(TransportFailure::NotFound,
                             "The registry has no record of " + question.query);
    if (r.status < 200 || r.status > 299) {
        std::string message = r.host + " answered HTTP " + std::to_string(r.status);
        if (r.status == 429) message += " (too many requests) again after the wait";
        if (const auto words = ErrorWords(r.body); !words.empty()) message += ": " + words;
        throw TransportError(TransportFailure::Failed, message);
    }
    if (auto fault = RdapFault(r.body, r.contentType); !fault.empty())
        throw TransportError(TransportFailure::Failed, "The answer of " + r.host + " " + fault);
    return std::move(hop.response.body);
}

} // namespace tesseron
