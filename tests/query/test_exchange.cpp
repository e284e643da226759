#include "query/AbortHandle.h"
#include "query/WhoisExchange.h"
#include "support/ExchangeHelpers.h"
#include "support/FakeServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tesseron::test {
namespace {

using Clock = std::chrono::steady_clock;
using W = WhoisBehaviour;
constexpr std::size_t MiB = std::size_t{1} << 20;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

struct AnswerCase {
    const char* name;
    W behaviour;
    int readTimeoutMs;
    std::string expected;
    // Large answers are generated when the test runs, not when the program starts.
    std::size_t expectedGenerated = 0;
};

class AnswerTest : public testing::TestWithParam<AnswerCase> {};

TEST_P(AnswerTest, ReturnsEveryByteTheServerSent) {
    const AnswerCase& c = GetParam();
    FakeWhoisServer server(c.behaviour);
    WhoisClient client({}, Limits(c.readTimeoutMs));
    std::string answer = client.WhoisExchange("127.0.0.1", server.port(), "example.com");
    const std::string expected =
        c.expectedGenerated ? GeneratedBytes(c.expectedGenerated) : c.expected;
    ASSERT_EQ(answer.size(), expected.size());
    EXPECT_TRUE(answer == expected);
}

std::string AllByteValues() {
    std::string s;
    for (int i = 0; i < 256; ++i)
        s += static_cast<char>(i);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Direct, AnswerTest,
    testing::Values(AnswerCase{"Complete", W::Answer("Domain Name: EXAMPLE.COM\r\n"), 3000,
                               "Domain Name: EXAMPLE.COM\r\n"},
                    AnswerCase{"EmptyWhenClosedWithoutData", W::Close(), 3000, ""},
                    AnswerCase{"NulBytesKept", W::Answer(std::string("a\0b\0\0c", 6)), 3000,
                               std::string("a\0b\0\0c", 6)},
                    AnswerCase{"AllByteValues", W::Answer(AllByteValues()), 3000, AllByteValues()},
                    // Each piece restarts the wait: 4 x 250 ms is longer than the 600 ms time-out.
                    AnswerCase{"PiecesWithinTheTimeoutEach",
                               W::Pieces({"one ", "two ", "three ", "four"}, 250), 600,
                               "one two three four"},
                    AnswerCase{"NoTimeoutWaitsForALateAnswer", W::Delayed(1200, "late"), 0, "late"},
                    AnswerCase{"ExactlyTheBound", W::Generated(64 * MiB), 3000, "", 64 * MiB}),
    [](const auto& info) { return std::string(info.param.name); });

struct FailureCase {
    const char* name;
    W behaviour;
    int readTimeoutMs;
    ExchangeFailure kind;
    std::string message; // with PORT standing for the server's port
};

class FailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(FailureTest, FailsWithAClearMessage) {
    const FailureCase& c = GetParam();
    FakeWhoisServer server(c.behaviour);
    WhoisClient client({}, Limits(c.readTimeoutMs));
    std::string message = c.message;
    message.replace(message.find("PORT"), 4, std::to_string(server.port()));
    auto start = Clock::now();
    try {
        client.WhoisExchange("127.0.0.1", server.port(), "example.com");
        FAIL() << "the exchange succeeded";
    } catch (const ExchangeError& e) {
        EXPECT_EQ(e.kind(), c.kind);
        EXPECT_STREQ(e.what(), message.c_str());
    }
    if (c.kind == ExchangeFailure::ReadTimeout) {
        EXPECT_GE(MsSince(start), c.readTimeoutMs - 20);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Direct, FailureTest,
    testing::Values(
        FailureCase{"SilentPastTheTimeout", W::Silent(), 300, ExchangeFailure::ReadTimeout,
                    "No answer from 127.0.0.1:PORT within 300 ms"},
        FailureCase{"PartThenSilent", W::PartThenSilent("Domain Name: EX"), 300,
                    ExchangeFailure::ReadTimeout, "No answer from 127.0.0.1:PORT within 300 ms"},
        FailureCase{"PartThenReset", W::PartThenReset("Domain Name: EX"), 3000,
                    ExchangeFailure::Receive,
                    "Receiving the answer from 127.0.0.1:PORT failed: Connection reset by peer"},
        FailureCase{"OneByteOverTheBound", W::Generated(64 * MiB + 1), 3000,
                    ExchangeFailure::TooLarge,
                    "The answer from 127.0.0.1:PORT is larger than 64 MiB"}),
    [](const auto& info) { return std::string(info.param.name); });

struct QueryCase {
    const char* name;
    std::string line;
};

class QueryLineTest : public testing::TestWithParam<QueryCase> {};

TEST_P(QueryLineTest, ServerReceivesTheLineWithCrLf) {
    FakeWhoisServer server(W::Answer("ok"));
    WhoisClient client({}, Limits());
    EXPECT_EQ(client.WhoisExchange("127.0.0.1", server.port(), GetParam().line), "ok");
    EXPECT_EQ(server.Requests(), std::vector<std::string>{GetParam().line + "\r\n"});
}

INSTANTIATE_TEST_SUITE_P(Direct, QueryLineTest,
                         testing::Values(QueryCase{"Plain", "example.com"}, QueryCase{"Empty", ""},
                                         QueryCase{"WithFlags",
                                                   "-T dn,ace -C US-ASCII example.com"},
                                         QueryCase{"HighBytesUnconverted", "b\xfc"
                                                                           "cher.de \xe4\xf6"},
                                         QueryCase{"Long", std::string(5000, 'q')}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Exchange, EachCallIsItsOwnConnection) {
    FakeWhoisServer server({W::Answer("first"), W::Answer("second")});
    WhoisClient client({}, Limits());
    EXPECT_EQ(client.WhoisExchange("127.0.0.1", server.port(), "a"), "first");
    EXPECT_EQ(client.WhoisExchange("127.0.0.1", server.port(), "b"), "second");
    EXPECT_EQ(server.Queries(), (std::vector<std::string>{"a", "b"}));
}

TEST(Exchange, ResolvesNamesFromTheHostsFile) {
    FakeWhoisServer server(W::Answer("ok"));
    WhoisClient client({}, Limits());
    EXPECT_EQ(client.WhoisExchange("localhost", server.port(), "x"), "ok");
}

struct ConnectFailureCase {
    const char* name;
    std::string host;
    int port; // 0: a refusing port
    ExchangeFailure kind;
    std::string message; // PORT stands for the port used
    std::string query = "example.com";
};

class ConnectFailureTest : public testing::TestWithParam<ConnectFailureCase> {};

TEST_P(ConnectFailureTest, FailsBeforeAnyAnswer) {
    const ConnectFailureCase& c = GetParam();
    RefusingPort refusing;
    int port = c.port ? c.port : refusing.port();
    std::string message = c.message;
    if (auto at = message.find("PORT"); at != std::string::npos)
        message.replace(at, 4, std::to_string(port));
    WhoisClient client({}, Limits());
    try {
        client.WhoisExchange(c.host, port, c.query);
        FAIL() << "the exchange succeeded";
    } catch (const ExchangeError& e) {
        EXPECT_EQ(e.kind(), c.kind) << e.what();
        EXPECT_EQ(std::string(e.what()).substr(0, message.size()), message);
    }
}

// Names that cannot be host names are refused before the resolver sees them.
const std::string kLongLabel = std::string(70, 'n') + ".test";
const std::string kLongName = std::string(10000, 'n');

INSTANTIATE_TEST_SUITE_P(
    Direct, ConnectFailureTest,
    testing::Values(
        ConnectFailureCase{"RefusedPort", "127.0.0.1", 0, ExchangeFailure::Connect,
                           "Connection to 127.0.0.1:PORT refused"},
        ConnectFailureCase{"LabelOver63", kLongLabel, 43, ExchangeFailure::Argument,
                           "The WHOIS server name of 75 characters is too long to be a host name"},
        ConnectFailureCase{"NameOver253", kLongName, 43, ExchangeFailure::Argument,
                           "The WHOIS server name of 10000 characters is too long"},
        ConnectFailureCase{"LineBreakInQuery", "127.0.0.1", 0, ExchangeFailure::Argument,
                           "The query for 127.0.0.1:PORT holds a control character",
                           "a.test\r\nsecond line"},
        ConnectFailureCase{"DelInQuery", "127.0.0.1", 0, ExchangeFailure::Argument,
                           "The query for 127.0.0.1:PORT holds a control character", "a\x7f.test"},
        ConnectFailureCase{"EmptyHost", "", 43, ExchangeFailure::Argument,
                           "No WHOIS server was given"},
        ConnectFailureCase{"NulInHost", std::string("localhost\0.evil", 15), 43,
                           ExchangeFailure::Argument, "The WHOIS server name contains a NUL"},
        ConnectFailureCase{"NegativePort", "127.0.0.1", -1, ExchangeFailure::Argument,
                           "The port -1 of 127.0.0.1 is out of range"},
        ConnectFailureCase{"PortTooLarge", "127.0.0.1", 65536, ExchangeFailure::Argument,
                           "The port 65536 of 127.0.0.1 is out of range"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Exchange, ConnectTimesOutOnAFullAcceptQueue) {
    FullBacklogListener full;
    ExchangeLimits limits = Limits();
    limits.connectTimeoutMs = 300;
    WhoisClient client({}, limits);
    auto start = Clock::now();
    try {
        client.WhoisExchange("127.0.0.1", full.port(), "x");
        FAIL() << "the exchange succeeded";
    } catch (const ExchangeError& e) {
        EXPECT_EQ(e.kind(), ExchangeFailure::ConnectTimeout) << e.what();
    }
    EXPECT_GE(MsSince(start), 280);
}

// The whole exchange has a bound of its own, whatever step it is in when that strikes: a
// server that keeps sending a byte now and then, or a connect that never completes.
TEST(Exchange, WholeExchangeBoundEndsEveryStep) {
    struct Case {
        const char* name;
        bool trickle; // else a connect that stays pending
    };
    for (const Case c : {Case{"trickle", true}, Case{"pending connect", false}}) {
        SCOPED_TRACE(c.name);
        FakeWhoisServer trickle(W::Pieces(std::vector<std::string>(40, "x"), 50));
        FullBacklogListener full;
        const int port = c.trickle ? trickle.port() : full.port();
        ExchangeLimits limits = Limits(300);
        limits.exchangeTimeoutMs = 500;
        WhoisClient client({}, limits);
        const auto start = Clock::now();
        try {
            client.WhoisExchange("127.0.0.1", port, "x");
            ADD_FAILURE() << "the exchange succeeded";
        } catch (const ExchangeError& e) {
            EXPECT_EQ(e.kind(), ExchangeFailure::ExchangeTimeout) << e.what();
            EXPECT_EQ(e.what(), "The exchange with 127.0.0.1:" + std::to_string(port) +
                                    " took longer than 500 ms and was ended");
        }
        EXPECT_GE(MsSince(start), 480);
        EXPECT_LT(MsSince(start), 1500);
    }
}

// The parameter names where the exchange waits when another thread aborts it.
class AbortTest : public testing::TestWithParam<const char*> {};

TEST_P(AbortTest, AbortEndsTheWaitPromptly) {
    std::string phase = GetParam();
    std::unique_ptr<FakeWhoisServer> server;
    std::unique_ptr<FullBacklogListener> full;
    int port;
    if (phase == "Connect") {
        full = std::make_unique<FullBacklogListener>();
        port = full->port();
    } else {
        server = std::make_unique<FakeWhoisServer>(phase == "Silent"    ? W::Silent()
                                                   : phase == "Partial" ? W::PartThenSilent("part")
                                                                        : W::Endless());
        port = server->port();
    }
    ExchangeLimits limits = Limits(0);
    limits.connectTimeoutMs = 0;
    limits.maxAnswerBytes = SIZE_MAX; // the endless stream must end by the abort alone
    auto abort = std::make_shared<AbortHandle>();
    WhoisClient client({}, limits, abort);
    Clock::time_point abortedAt;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(phase == "Stream" ? 50 : 200));
        abortedAt = Clock::now();
        abort->Abort();
    });
    try {
        client.WhoisExchange("127.0.0.1", port, "x");
        ADD_FAILURE() << "the exchange succeeded";
    } catch (const ExchangeError& e) {
        EXPECT_EQ(e.kind(), ExchangeFailure::Aborted) << e.what();
    }
    auto endedAt = Clock::now();
    stopper.join();
    auto reaction =
        std::chrono::duration_cast<std::chrono::milliseconds>(endedAt - abortedAt).count();
    std::printf("[ reaction ] abort during %s ended the exchange after %lld ms\n", phase.c_str(),
                static_cast<long long>(reaction));
    EXPECT_LT(reaction, 300);
}

INSTANTIATE_TEST_SUITE_P(Direct, AbortTest,
                         testing::Values("Connect", "Silent", "Partial", "Stream"),
                         [](const auto& info) { return std::string(info.param); });

TEST(Exchange, AbortedBeforeStartNeverConnects) {
    FakeWhoisServer server(W::Answer("ok"));
    auto abort = std::make_shared<AbortHandle>();
    abort->Abort();
    WhoisClient client({}, Limits(), abort);
    try {
        client.WhoisExchange("127.0.0.1", server.port(), "x");
        FAIL() << "the exchange succeeded";
    } catch (const ExchangeError& e) {
        EXPECT_EQ(e.kind(), ExchangeFailure::Aborted);
    }
    EXPECT_FALSE(server.WaitForConnections(1, 200));
}

} // namespace
} // namespace tesseron::test
