#include "query/AbortHandle.h"
#include "query/WhoisExchange.h"
#include "support/ExchangeHelpers.h"
#include "support/FakeServer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace tesseron::test {
namespace {

using Clock = std::chrono::steady_clock;
using Then = SocksStep::Then;

// A label over 63 bytes cannot be resolved (nor put into a DNS query): an exchange that
// succeeds with it proves the name went to the proxy unresolved.
const std::string kRemoteOnly = std::string(64, 'r') + ".example";

SocksInfo Proxy(uint8_t version, int port, std::string user = {}, std::string password = {},
                uint8_t authentication = 0) {
    return {version, "127.0.0.1", port, authentication, std::move(user), std::move(password)};
}

std::string Port(int port) {
    return Bytes({port >> 8, port & 0xff});
}

// Runs the exchange and returns its failure; fails the test when it succeeds.
ExchangeError FailureOf(WhoisClient& client, const std::string& host, int port = 43,
                        const std::string& query = "example.com") {
    try {
        client.WhoisExchange(host, port, query);
    } catch (const ExchangeError& e) {
        return e;
    }
    ADD_FAILURE() << "the exchange succeeded";
    return ExchangeError(ExchangeFailure::Send, "");
}

// What a case asks of the proxy: its version and credentials, and the WHOIS host named.
struct ProxyCase {
    const char* name;
    uint8_t version;
    std::string host;
    std::string user;
    std::string password;
    uint8_t authentication;

    SocksInfo ProxyAt(int port) const {
        return Proxy(version, port, user, password, authentication);
    }
};

struct GrantedCase : ProxyCase {
    std::function<std::vector<std::string>(int whoisPort)> expected; // per phase
    std::string connectReply = Socks5ConnectReply(0);
};

class GrantedTest : public testing::TestWithParam<GrantedCase> {};

TEST_P(GrantedTest, SendsEveryRequestByteAndRelaysTheAnswer) {
    const GrantedCase& c = GetParam();
    FakeWhoisServer whois(WhoisBehaviour::Answer(std::string("answer\0via proxy", 16)));
    SocksScript script = c.version == 3
                             ? SocksScript::Socks5Granted(whois.port(), c.authentication == 1)
                             : SocksScript::Socks4Granted(whois.port());
    if (c.version == 3) script.steps.back().reply = c.connectReply;
    FakeSocksProxy proxy(script);
    WhoisClient client(c.ProxyAt(proxy.port()), Limits());
    EXPECT_EQ(client.WhoisExchange(c.host, whois.port(), "example.com"),
              std::string("answer\0via proxy", 16));
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0], c.expected(whois.port()));
    EXPECT_EQ(whois.Requests(), std::vector<std::string>{"example.com\r\n"});
}

std::vector<std::string> Socks5Phases(int port, const std::string& host,
                                      const std::string& auth = {}) {
    std::vector<std::string> p{Bytes({5, 1, auth.empty() ? 0 : 2})};
    if (!auth.empty()) p.push_back(auth);
    p.push_back(Bytes({5, 1, 0, 3, static_cast<int>(host.size())}) + host + Port(port));
    return p;
}

const std::string k255(255, 'u');

INSTANTIATE_TEST_SUITE_P(
    Socks, GrantedTest,
    testing::Values(
        GrantedCase{"Socks4", 1, "127.0.0.1", "alice", "", 0,
                    [](int p) {
                        return std::vector<std::string>{
                            Bytes({4, 1}) + Port(p) + Bytes({127, 0, 0, 1}) + "alice" + Bytes({0})};
                    }},
        GrantedCase{
            "Socks4ResolvesLocally", 1, "localhost", "", "", 0,
            [](int p) {
                return std::vector<std::string>{Bytes({4, 1}) + Port(p) + Bytes({127, 0, 0, 1, 0})};
            }},
        GrantedCase{"Socks4UserIdOf255Bytes", 1, "127.0.0.1", k255, "", 0,
                    [](int p) {
                        return std::vector<std::string>{Bytes({4, 1}) + Port(p) +
                                                        Bytes({127, 0, 0, 1}) + k255 + Bytes({0})};
                    }},
        // A user id ends at a zero byte, so a longer one could be sent; it is cut all the same.
        GrantedCase{"Socks4UserIdCutTo255Bytes", 1, "127.0.0.1", std::string(300, 'u'), "", 0,
                    [](int p) {
                        return std::vector<std::string>{Bytes({4, 1}) + Port(p) +
                                                        Bytes({127, 0, 0, 1}) + k255 + Bytes({0})};
                    }},
        GrantedCase{"Socks4AUserIdCutTo255Bytes", 2, kRemoteOnly, std::string(256, 'u'), "", 0,
                    [](int p) {
                        return std::vector<std::string>{Bytes({4, 1}) + Port(p) +
                                                        Bytes({0, 0, 0, 1}) + k255 + Bytes({0}) +
                                                        kRemoteOnly + Bytes({0})};
                    }},
        GrantedCase{"Socks4A", 2, kRemoteOnly, "bob", "", 0,
                    [](int p) {
                        return std::vector<std::string>{Bytes({4, 1}) + Port(p) +
                                                        Bytes({0, 0, 0, 1}) + "bob" + Bytes({0}) +
                                                        kRemoteOnly + Bytes({0})};
                    }},
        GrantedCase{"Socks5", 3, kRemoteOnly, "", "", 0,
                    [](int p) { return Socks5Phases(p, kRemoteOnly); }},
        GrantedCase{"Socks5DottedAddressSentAsName", 3, "127.0.0.1", "", "", 0,
                    [](int p) { return Socks5Phases(p, "127.0.0.1"); }},
        GrantedCase{"Socks5UserIgnoredWithoutAuthentication", 3, kRemoteOnly, "carol", "pw", 0,
                    [](int p) { return Socks5Phases(p, kRemoteOnly); }},
        GrantedCase{"Socks5Authentication", 3, kRemoteOnly, "carol", "s3cret", 1,
                    [](int p) {
                        return Socks5Phases(p, kRemoteOnly,
                                            Bytes({1, 5}) + "carol" + Bytes({6}) + "s3cret");
                    }},
        // A host name has at most 253 characters; user name and password fill their byte.
        GrantedCase{"Socks5LongestFields", 3, std::string(253, 'h'), k255, k255, 1,
                    [](int p) {
                        return Socks5Phases(p, std::string(253, 'h'),
                                            Bytes({1, 255}) + k255 + Bytes({255}) + k255);
                    }},
        // The bound address in the reply must be consumed exactly, or its bytes would
        // appear at the start of the answer (or the read would wait for missing ones).
        GrantedCase{"Socks5BoundName", 3, kRemoteOnly, "", "", 0,
                    [](int p) { return Socks5Phases(p, kRemoteOnly); }, Socks5ConnectReply(0, 3)},
        GrantedCase{"Socks5BoundIPv6", 3, kRemoteOnly, "", "", 0,
                    [](int p) { return Socks5Phases(p, kRemoteOnly); }, Socks5ConnectReply(0, 4)}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    std::string name;
    uint8_t version;
    std::vector<SocksStep> steps;
    uint8_t authentication;
    ExchangeFailure kind;
    std::string message; // the text after "The SOCKS n proxy 127.0.0.1:PORT "
    std::size_t phasesSent;
};

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, FailsAndSendsNothingFurther) {
    const RefusalCase& c = GetParam();
    // A last step that records anything the client might still send.
    std::vector<SocksStep> steps = c.steps;
    steps.push_back({"", Then::Close});
    FakeSocksProxy proxy({steps, 0});
    ExchangeLimits limits = Limits();
    limits.handshakeTimeoutMs = 300;
    WhoisClient client(Proxy(c.version, proxy.port(), "user", "pw", c.authentication), limits);
    const std::string host = c.version == 1 ? "127.0.0.1" : kRemoteOnly;
    ExchangeError e = FailureOf(client, host);
    EXPECT_EQ(e.kind(), c.kind) << e.what();
    const char* names[] = {"", "SOCKS 4", "SOCKS 4A", "SOCKS 5"};
    std::string expected = std::string("The ") + names[c.version] +
                           " proxy 127.0.0.1:" + std::to_string(proxy.port()) + " " + c.message;
    if (auto at = expected.find("HOST"); at != std::string::npos) expected.replace(at, 4, host);
    EXPECT_EQ(e.what(), expected);
    ASSERT_TRUE(proxy.WaitForFinished(1, 2000));
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].size(), c.phasesSent);
}

std::vector<RefusalCase> RefusalCases() {
    std::vector<RefusalCase> cases;
    const std::pair<int, const char*> socks4[] = {
        {91, "request rejected or failed (code 91)"},
        {92, "the proxy cannot reach the client's identd (code 92)"},
        {93, "the client program and identd report different user ids (code 93)"},
        {0, "unknown reply code (code 0)"},
        {255, "unknown reply code (code 255)"}};
    for (auto [code, text] : socks4)
        for (uint8_t v : {1, 2})
            cases.push_back(
                {"Socks4" + std::string(v == 2 ? "A" : "") + "Code" + std::to_string(code),
                 v,
                 {{Socks4Reply(code)}},
                 0,
                 ExchangeFailure::ProxyRefused,
                 std::string("refused the connection to HOST:43: ") + text,
                 1});
    const char* socks5[] = {"",
                            "general SOCKS server failure",
                            "connection not allowed by ruleset",
                            "network unreachable",
                            "host unreachable",
                            "connection refused",
                            "TTL expired",
                            "command not supported",
                            "address type not supported",
                            "unknown reply code"};
    for (int code = 1; code <= 9; ++code)
        cases.push_back({"Socks5Code" + std::to_string(code),
                         3,
                         {{Socks5MethodReply(0)}, {Socks5ConnectReply(code)}},
                         0,
                         ExchangeFailure::ProxyRefused,
                         "refused the connection to HOST:43: " + std::string(socks5[code]) +
                             " (code " + std::to_string(code) + ")",
                         2});
    const std::tuple<const char*, int, int, const char*> methods[] = {
        {"Socks5WantsAuthentication", 0, 2, "no authentication"},
        {"Socks5WantsNoAuthentication", 1, 0, "user name and password"},
        {"Socks5NoAcceptableMethod", 1, 0xff, "user name and password"},
        {"Socks5GssApi", 0, 1, "no authentication"}};
    for (auto [name, auth, method, text] : methods)
        cases.push_back({name,
                         3,
                         {{Socks5MethodReply(method)}},
                         static_cast<uint8_t>(auth),
                         ExchangeFailure::ProxyRefused,
                         std::string("does not accept the method ") + text,
                         1});
    for (int status : {1, 255})
        cases.push_back({"Socks5AuthenticationStatus" + std::to_string(status),
                         3,
                         {{Socks5MethodReply(2)}, {Socks5AuthReply(status)}},
                         1,
                         ExchangeFailure::ProxyRefused,
                         "rejected the user name and password",
                         2});
    cases.push_back({"Socks5UnknownAddressType",
                     3,
                     {{Socks5MethodReply(0)}, {Socks5ConnectReply(0, 7)}},
                     0,
                     ExchangeFailure::ProxyProtocol,
                     "replied with the unknown address type 7",
                     2});
    cases.push_back({"SilentProxy",
                     3,
                     {{"", Then::Silent}},
                     0,
                     ExchangeFailure::ProxyTimeout,
                     "did not reply within 300 ms",
                     1});
    cases.push_back({"ReplyCutShortThenSilent",
                     1,
                     {{Socks4Reply(90).substr(0, 5), Then::Silent}},
                     0,
                     ExchangeFailure::ProxyTimeout,
                     "did not reply within 300 ms",
                     1});
    // Every reply of every phase cut short by the proxy's close.
    struct Phase {
        std::string name;
        uint8_t version;
        uint8_t authentication;
        std::vector<SocksStep> before;
        std::string reply;
    };
    const Phase phases[] = {
        {"Socks4", 1, 0, {}, Socks4Reply(90)},
        {"Socks5Method", 3, 0, {}, Socks5MethodReply(0)},
        {"Socks5Auth", 3, 1, {{Socks5MethodReply(2)}}, Socks5AuthReply(0)},
        {"Socks5ConnectIPv4", 3, 0, {{Socks5MethodReply(0)}}, Socks5ConnectReply(0, 1)},
        {"Socks5ConnectName", 3, 0, {{Socks5MethodReply(0)}}, Socks5ConnectReply(0, 3)},
        {"Socks5ConnectIPv6", 3, 0, {{Socks5MethodReply(0)}}, Socks5ConnectReply(0, 4)}};
    for (const Phase& p : phases) {
        for (std::size_t n = 0; n < p.reply.size(); ++n) {
            std::vector<SocksStep> steps = p.before;
            steps.push_back({p.reply.substr(0, n), Then::Close});
            cases.push_back({p.name + "ClosedAfter" + std::to_string(n), p.version, steps,
                             p.authentication, ExchangeFailure::ProxyProtocol,
                             "closed the connection during the handshake", steps.size()});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Socks, RefusalTest, testing::ValuesIn(RefusalCases()),
                         [](const auto& info) { return info.param.name; });

struct ArgumentCase : ProxyCase {
    std::string message;
    std::string query = "example.com";
};

class ArgumentTest : public testing::TestWithParam<ArgumentCase> {};

TEST_P(ArgumentTest, RejectedBeforeConnecting) {
    const ArgumentCase& c = GetParam();
    FakeSocksProxy proxy(SocksScript::Socks5Granted(0, false));
    WhoisClient client(c.ProxyAt(proxy.port()), Limits());
    ExchangeError e = FailureOf(client, c.host, 43, c.query);
    EXPECT_EQ(e.kind(), ExchangeFailure::Argument);
    EXPECT_EQ(e.what(), c.message);
    EXPECT_FALSE(proxy.WaitForConnections(1, 100));
}

const std::string k256(256, 'x');
const std::string k254(254, 'x');

INSTANTIATE_TEST_SUITE_P(
    Socks, ArgumentTest,
    testing::Values(
        ArgumentCase{"Socks4NulInUser", 1, "127.0.0.1", std::string("a\0b", 3), "", 0,
                     "The proxy user name contains a NUL byte, which would end the SOCKS 4 user "
                     "id early"},
        ArgumentCase{"Socks4ALongHost", 2, k254, "", "", 0,
                     "The WHOIS server name of 254 characters is too long to be a host name"},
        ArgumentCase{"Socks4LongLabel", 1, kRemoteOnly, "", "", 0,
                     "The WHOIS server name of 72 characters is too long to be a host name"},
        ArgumentCase{"Socks4ControlInQuery", 1, "127.0.0.1", "", "", 0,
                     "The query for 127.0.0.1:43 holds a control character", "a.test\r\nb.test"},
        ArgumentCase{"Socks4ANulInHost", 2, std::string("h\0x", 3), "", "", 0,
                     "The WHOIS server name contains a NUL byte"},
        ArgumentCase{"Socks5LongHost", 3, k254, "", "", 0,
                     "The WHOIS server name of 254 characters is too long to be a host name"},
        ArgumentCase{"Socks5LongUser", 3, kRemoteOnly, k256, "pw", 1,
                     "The proxy user name is longer than 255 bytes, which SOCKS 5 cannot carry"},
        ArgumentCase{"Socks5LongPassword", 3, kRemoteOnly, "u", k256, 1,
                     "The proxy password is longer than 255 bytes, which SOCKS 5 cannot carry"}),
    [](const auto& info) { return std::string(info.param.name); });

class EmptyProxyHostTest : public testing::TestWithParam<int> {};

TEST_P(EmptyProxyHostTest, FailsWithoutConnectingAnywhere) {
    FakeWhoisServer whois(WhoisBehaviour::Answer("direct"));
    SocksInfo socks = Proxy(static_cast<uint8_t>(GetParam()), 1080);
    socks.host.clear();
    WhoisClient client(socks, Limits());
    ExchangeError e = FailureOf(client, "127.0.0.1", whois.port());
    EXPECT_EQ(e.kind(), ExchangeFailure::Argument);
    EXPECT_NE(std::string(e.what()).find("No host is set for the SOCKS"), std::string::npos);
    EXPECT_FALSE(whois.WaitForConnections(1, 100));
}

INSTANTIATE_TEST_SUITE_P(Socks, EmptyProxyHostTest, testing::Values(1, 2, 3));

class OutOfRangeVersionTest : public testing::TestWithParam<int> {};

TEST_P(OutOfRangeVersionTest, ConnectsDirectly) {
    FakeWhoisServer whois(WhoisBehaviour::Answer("direct"));
    FakeSocksProxy proxy(SocksScript::Socks5Granted(whois.port(), false));
    WhoisClient client(Proxy(static_cast<uint8_t>(GetParam()), proxy.port()), Limits());
    EXPECT_EQ(client.WhoisExchange("127.0.0.1", whois.port(), "q"), "direct");
    EXPECT_EQ(proxy.Connections(), 0);
    EXPECT_EQ(whois.Queries(), std::vector<std::string>{"q"});
}

INSTANTIATE_TEST_SUITE_P(Socks, OutOfRangeVersionTest, testing::Values(0, 4, 255));

TEST(Socks, RefusedProxyNamesTheProxy) {
    RefusingPort refusing;
    WhoisClient client(Proxy(3, refusing.port()), Limits());
    ExchangeError e = FailureOf(client, kRemoteOnly);
    EXPECT_EQ(e.kind(), ExchangeFailure::Connect);
    EXPECT_EQ(e.what(), "Connection to the SOCKS 5 proxy 127.0.0.1:" +
                            std::to_string(refusing.port()) + " refused");
}

TEST(Socks, AbortEndsTheHandshakeWait) {
    FakeSocksProxy proxy({{{"", Then::Silent}}, 0});
    auto abort = std::make_shared<AbortHandle>();
    ExchangeLimits limits = Limits();
    limits.handshakeTimeoutMs = 0;
    WhoisClient client(Proxy(3, proxy.port()), limits, abort);
    std::thread stopper([&] {
        proxy.WaitForConnections(1, 2000);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        abort->Abort();
    });
    auto start = Clock::now();
    ExchangeError e = FailureOf(client, kRemoteOnly);
    stopper.join();
    EXPECT_EQ(e.kind(), ExchangeFailure::Aborted);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
}

} // namespace
} // namespace tesseron::test
