#include "query/AbortHandle.h"
#include "query/RdapTransport.h"
#include "serverdb/HttpTestServer.h" // kLoopbackDirect: no proxy of the environment
#include "support/ScriptedHttpServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tesseron::test {
namespace {

using Clock = std::chrono::steady_clock;
using F = TransportFailure;
using Script = std::map<std::string, std::vector<Reply>>;

std::string Fixture(const char* name) {
    return ReadFile(std::filesystem::path(TESSERON_SOURCE_DIR "/tests/query/rdap") / name);
}

Reply Json(std::string body, int status = 200) {
    return {status, std::move(body), "Content-Type: application/rdap+json\r\n"};
}
Reply Moved(const std::string& to) {
    return {302, "", "Location: " + to + "\r\n"};
}

TEST(RdapTransport, AsksFollowsAndFailsAsTheServerSays) {
    struct Case {
        const char* name;
        const char* query;
        Script script;
        bool tls = false;         // the server speaks HTTPS
        std::optional<F> failure; // nullopt: an answer
        const char* said = "";    // in the message, or in the answer
        int abortAfterMs = -1;
        std::size_t maxBody = 1 << 20;
    };
    const std::string registry = Fixture("domain-registry.json");
    const Case cases[] = {
        {"a domain",
         "xn--bcher-kva.test",
         {{"/rdap/domain/xn--bcher-kva.test", {Json(registry)}}},
         false,
         {},
         "2336799_DOMAIN_TEST-REG"},
        {"an IPv6 network over TLS",
         "2001:db8::/32",
         {{"/rdap/ip/2001:db8::/32", {Json(Fixture("ip-v6.json"))}}},
         true,
         {},
         "DOCUMENTATION"},
        {"an IPv4 address",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {Json(Fixture("ip-v4.json"))}}},
         false,
         {},
         "TEST-NET-1"},
        {"an AS number",
         "as 64500",
         {{"/rdap/autnum/64500", {Json(Fixture("autnum.json"))}}},
         false,
         {},
         "DOC-AS-BLOCK"},
        {"a redirect chain",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {Moved("/b")}},
          {"/b", {Moved("/c")}},
          {"/c", {Json(Fixture("ip-v4.json"))}}},
         false,
         {},
         "TEST-NET-1"},
        {"a redirect loop",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {Moved("/b")}}, {"/b", {Moved("/rdap/ip/192.0.2.1")}}},
         false,
         F::Failed,
         "loop"},
        {"more than five redirects",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {Moved("/1")}},
          {"/1", {Moved("/2")}},
          {"/2", {Moved("/3")}},
          {"/3", {Moved("/4")}},
          {"/4", {Moved("/5")}},
          {"/5", {Moved("/6")}}},
         false,
         F::Failed,
         "More than 5 redirects"},
        {"404 is no record",
         "nothing.test",
         {},
         false,
         F::NotFound,
         "The registry has no record of nothing.test"},
        {"429 waits and asks again",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {{429, "", "Retry-After: 1\r\n"}, Json(Fixture("ip-v4.json"))}}},
         false,
         {},
         "TEST-NET-1"},
        {"429 twice",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {{429, "", "Retry-After: 0\r\n"}}}},
         false,
         F::Failed,
         "HTTP 429"},
        {"an abort during the wait",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {{429, "", "Retry-After: 30\r\n"}}}},
         false,
         F::Aborted,
         "",
         300},
        {"another HTTP error names the status and the server's words",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {Json(R"({"errorCode":503,"title":"Maintenance"})", 503)}}},
         false,
         F::Failed,
         "HTTP 503: Maintenance"},
        {"malformed JSON",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {Json(R"({"objectClassName":)")}}},
         false,
         F::Failed,
         "is not JSON"},
        {"an object nested deeper than the renderer reads",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1",
           {Json(R"({"objectClassName":"ip network","x":)" + std::string(200, '[') +
                 std::string(200, ']') + "}")}}},
         false,
         F::Failed,
         "nested deeper than 128 levels"},
        {"a web page",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {{200, "<html></html>", "Content-Type: text/html\r\n"}}}},
         false,
         F::Failed,
         "text/html"},
        {"JSON that is no RDAP object",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {Json(R"({"handle":"X"})")}}},
         false,
         F::Failed,
         "objectClassName"},
        {"a body over the bound",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {Json(registry)}}},
         false,
         F::Failed,
         "larger than 100 bytes",
         -1,
         100},
        {"a silent server",
         "192.0.2.1",
         {{"/rdap/ip/192.0.2.1", {{200, "", "", true}}}},
         false,
         F::OverTime,
         "within the time-out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server(c.script, c.tls);
        RdapOptions options;
        options.limits.totalTimeoutMs = 1500;
        options.limits.maxBodyBytes = c.maxBody;
        if (c.tls) options.caFile = server.caFile();
        std::vector<std::string> asked;
        std::vector<int> waits;
        options.asking = [&](const std::string& url) { asked.push_back(url); };
        options.waiting = [&](int seconds) { waits.push_back(seconds); };
        auto abort = std::make_shared<AbortHandle>();
        RdapTransport transport(options, abort);
        std::thread stopper;
        if (c.abortAfterMs >= 0)
            stopper = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.abortAfterMs));
                abort->Abort();
            });
        const auto start = Clock::now();
        std::string answer, message;
        std::optional<F> failure;
        try {
            answer = transport.Ask(SplitServerAddress(server.Url("/rdap")), {c.query, "prefix "});
        } catch (const TransportError& e) {
            failure = e.kind();
            message = e.what();
        }
        const auto took = Clock::now() - start;
        if (stopper.joinable()) stopper.join();

        EXPECT_EQ(failure, c.failure) << message;
        EXPECT_NE((failure ? message : answer).find(c.said), std::string::npos) << message;
        EXPECT_LT(took, std::chrono::milliseconds(failure == F::OverTime ? 2500 : 1900));
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.front().rfind(server.Url("/rdap/"), 0), 0u) << asked.front();
        const auto requests = server.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_NE(requests.front().find("Accept: application/rdap+json"), std::string::npos);
        if (!failure) {
            EXPECT_EQ(transport.AnsweredHost(), "127.0.0.1");
        }
        if (std::string_view(c.name).starts_with("429")) {
            EXPECT_EQ(requests.size(), 2u);
        }
        if (std::string_view(c.name) == "429 waits and asks again") {
            EXPECT_EQ(waits, std::vector<int>{1});
            EXPECT_GE(took, std::chrono::milliseconds(900));
        }
    }
}

TEST(RdapTransport, RefusesARedirectFromHttpsToHttpAndSchemesItDoesNotSpeak) {
    ScriptedHttpServer plain({{"/ip/192.0.2.1", {Json(Fixture("ip-v4.json"))}}});
    ScriptedHttpServer tls({{"/rdap/ip/192.0.2.1", {Moved(plain.Url("/ip/192.0.2.1"))}}}, true);
    RdapOptions options;
    options.caFile = tls.caFile();
    options.limits.totalTimeoutMs = 3000;
    RdapTransport transport(options);
    const auto failureOf =
        [&](const std::string& server) -> std::pair<std::optional<F>, std::string> {
        try {
            transport.Ask(SplitServerAddress(server), {"192.0.2.1", ""});
        } catch (const TransportError& e) {
            return {e.kind(), e.what()};
        }
        return {};
    };
    const auto [kind, message] = failureOf(tls.Url("/rdap/"));
    EXPECT_EQ(kind, F::Failed);
    EXPECT_NE(message.find("from https to " + plain.Url("/ip/192.0.2.1")), std::string::npos)
        << message;
    EXPECT_TRUE(plain.Requests().empty());
    EXPECT_EQ(failureOf("whois://127.0.0.1/").first, F::Unsupported);
}

TEST(RdapTransport, AddressesAndTheRegistrarLink) {
    const std::pair<const char*, const char*> urls[] = {
        {"example.test", "https://r.test/base/domain/example.test"},
        {"EXAMPLE.test.", "https://r.test/base/domain/EXAMPLE.test."},
        {"a/b?c#d e", "https://r.test/base/domain/a%2Fb%3Fc%23d%20e"},
        {"2001:DB8::1", "https://r.test/base/ip/2001:db8::1"},
        {"192.0.2.77/24", "https://r.test/base/ip/192.0.2.0/24"},
        {"AS 015169", "https://r.test/base/autnum/15169"},
    };
    for (const auto& [query, url] : urls)
        EXPECT_EQ(RdapQueryUrl("https://r.test/base", query), url) << query;
    // A registrar's record named by a registry's answer is asked as it is.
    const auto link = RdapRelatedLink(Fixture("domain-registry.json"));
    EXPECT_EQ(link, "https://rdap.registrar.test/domain/XN--BCHER-KVA.TEST");
    EXPECT_EQ(RdapQueryUrl(*link, "xn--bcher-kva.test"), *link);
    EXPECT_EQ(RdapBaseUrl(SplitServerAddress("https://h.test:8443")), "https://h.test:8443/");
    EXPECT_EQ(RdapBaseUrl(SplitServerAddress("http://h.test/rdap/")), "http://h.test/rdap/");
    for (const char* other : {"", "{", R"({"objectClassName":"ip network","links":[]})",
                              R"({"objectClassName":"domain","links":{"rel":"related"}})",
                              R"({"objectClassName":"domain","links":[{"rel":"related",
                                 "type":"application/rdap+json","href":"file:///etc/passwd"}]})"})
        EXPECT_EQ(RdapRelatedLink(other), std::nullopt) << other;

    const long long now = 1'700'000'000; // Tue, 14 Nov 2023 22:13:20 GMT
    EXPECT_EQ(RetryAfterSeconds(" 7 ", now), 7);
    EXPECT_EQ(RetryAfterSeconds("Tue, 14 Nov 2023 22:13:50 GMT", now), 30);
    EXPECT_EQ(RetryAfterSeconds("Tue, 14 Nov 2023 22:00:00 GMT", now), 0);
    EXPECT_EQ(RetryAfterSeconds("soon", now), std::nullopt);
    EXPECT_EQ(RetryAfterSeconds("-1", now), std::nullopt);
}

} // namespace
} // namespace tesseron::test
