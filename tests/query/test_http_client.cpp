#include "query/AbortHandle.h"
#include "query/HttpClient.h"
#include "serverdb/HttpTestServer.h"
#include "support/FakeServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace tesseron::test {
namespace {

using Clock = std::chrono::steady_clock;
using F = HttpFailure;

HttpLimits Fast() {
    HttpLimits l;
    l.connectTimeoutMs = 3000;
    l.totalTimeoutMs = 5000;
    return l;
}

TEST(HttpClient, EndsAsTheBoundsTheAbortAndTheRedirectsSay) {
    TempDir dir;
    const auto secret = dir.Write("secret.txt", "not for the web");
    struct Case {
        const char* name;
        const char* path;
        F failure;
        std::string body;
        long status;
        void (*tweak)(HttpLimits&) = nullptr;
        int abortAfterMs = -1; // 0: before the start
    };
    const Case cases[] = {
        {"a plain answer", "/hello", F::None, "hello", 200},
        {"an error page is a body", "/gone", F::None, "gone", 404},
        {"a redirect is followed", "/moved", F::None, "hello", 200},
        {"a redirect loop ends at the bound", "/loop", F::Other, "", 302,
         [](HttpLimits& l) { l.maxRedirects = 3; }},
        {"a redirect to a file is refused", "/file", F::Other, "", 302},
        {"the byte bound", "/hello", F::TooLarge, "", 200,
         [](HttpLimits& l) { l.maxBodyBytes = 4; }},
        {"the time-out keeps what arrived", "/slow", F::TimedOut, "first", 200,
         [](HttpLimits& l) { l.totalTimeoutMs = 300; }},
        {"an abort ends the wait", "/slow", F::Aborted, "first", 200, nullptr, 300},
        {"an abort before the start asks nothing", "/hello", F::Aborted, "", 0, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpServer server({
            {"/hello", {200, {"hello"}}},
            {"/gone", {404, {"gone"}}},
            {"/moved", {302, {}, 0, "Location: /hello\r\n"}},
            {"/loop", {302, {}, 0, "Location: /loop\r\n"}},
            {"/file", {302, {}, 0, "Location: file://" + secret.string() + "\r\n"}},
            {"/slow", {200, {"first", "second"}, 1000}},
        });
        HttpRequest request;
        request.url = server.Url(c.path);
        request.limits = Fast();
        if (c.tweak) c.tweak(request.limits);
        AbortHandle abort;
        if (c.abortAfterMs == 0) abort.Abort();
        std::thread stopper;
        if (c.abortAfterMs > 0)
            stopper = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.abortAfterMs));
                abort.Abort();
            });
        const auto start = Clock::now();
        const HttpResponse r = HttpGet(request, &abort);
        const auto took = Clock::now() - start;
        if (stopper.joinable()) stopper.join();

        EXPECT_EQ(r.failure, c.failure) << r.detail;
        EXPECT_EQ(r.failure == F::None, r.detail.empty()) << r.detail;
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.host, "127.0.0.1");
        EXPECT_LT(took, std::chrono::milliseconds(800)); // never the server's 1 s pause
        if (c.abortAfterMs == 0) {
            EXPECT_EQ(server.LastRequest(), "");
        }
    }
    // A progress step that throws ends the transfer, and its error reaches the caller.
    HttpServer server({{"/hello", {200, {"hello"}}}});
    HttpRequest request;
    request.url = server.Url("/hello");
    request.progress = [](std::size_t, std::size_t) { throw std::logic_error("bar"); };
    EXPECT_THROW(HttpGet(request), std::logic_error);
}

// The connect-to map sends a named host to the loopback server without a look-up.
TEST(HttpClient, ConnectsWhereTheMapSays) {
    HttpServer server({{"/hello", {200, {"hello"}}}});
    HttpRequest request;
    request.url = "http://mirror.whois.invalid/hello";
    request.limits = Fast();
    request.connectTo = {{"mirror.whois.invalid", 80, "127.0.0.1", server.port()}};
    const HttpResponse r = HttpGet(request);
    EXPECT_EQ(r.failure, F::None) << r.detail;
    EXPECT_EQ(r.body, "hello");
    EXPECT_EQ(r.host, "mirror.whois.invalid");
}

// The proxy of the settings carries every request, loopback included; the SOCKS 4A and 5
// proxies get the name, SOCKS 4 an address resolved here.
TEST(HttpClient, GoesThroughTheSocksProxyOfTheSettings) {
    HttpServer server({{"/hello", {200, {"hello"}}}});
    const int httpPort = server.port();
    struct Case {
        const char* name;
        uint8_t version;
        SocksScript script;
        const char* host;
        std::string inRequest; // in the proxy's CONNECT request
        uint8_t authentication = 0;
    };
    const Case cases[] = {
        {"SOCKS 5", 3, SocksScript::Socks5Granted(httpPort, false), "update.invalid",
         "update.invalid"},
        {"SOCKS 5 with a login", 3, SocksScript::Socks5Granted(httpPort, true), "update.invalid",
         "update.invalid", 1},
        {"SOCKS 4A", 2, SocksScript::Socks4Granted(httpPort), "update.invalid", "update.invalid"},
        {"SOCKS 4", 1, SocksScript::Socks4Granted(httpPort), "localhost",
         std::string("\x7f\0\0\x01", 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSocksProxy proxy(c.script);
        HttpRequest request;
        request.url = "http://" + std::string(c.host) + "/hello";
        request.limits = Fast();
        request.proxy = {c.version, "127.0.0.1", proxy.port(), c.authentication, "user", "pw"};
        const HttpResponse r = HttpGet(request);
        EXPECT_EQ(r.failure, F::None) << r.detail;
        EXPECT_EQ(r.body, "hello");
        const auto requests = proxy.Requests();
        ASSERT_EQ(requests.size(), 1u);
        std::string all;
        for (const auto& phase : requests[0])
            all += phase;
        EXPECT_NE(all.find(c.inRequest), std::string::npos);
        // SOCKS 4 and 4A send the user id, SOCKS 5 the login only when asked to.
        EXPECT_EQ(all.find("user") != std::string::npos, c.version != 3 || c.authentication == 1);
        EXPECT_EQ(all.find("pw") != std::string::npos, c.authentication == 1);
    }
    // A proxy without a host is a failure, never a direct connection.
    HttpRequest request;
    request.url = server.Url("/hello");
    request.proxy.version = 3;
    const HttpResponse r = HttpGet(request);
    EXPECT_EQ(r.failure, F::Other);
    EXPECT_NE(r.detail.find("SOCKS 5"), std::string::npos);
}

} // namespace
} // namespace tesseron::test
