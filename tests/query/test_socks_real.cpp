// WHOIS exchanges through real SOCKS servers started on loopback: microsocks (SOCKS 5,
// with and without a password), dante (SOCKS 4 and 5) and OpenSSH's dynamic forwarding
// (SOCKS 4, 4A and 5). Every WHOIS server is a fake one on 127.0.0.1.

#include "query/WhoisExchange.h"
#include "support/Daemons.h"
#include "support/FakeServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tesseron::test {
namespace {

using namespace std::chrono_literals;

const std::string kQuery = "example.test";

// Several reads' worth of every byte value: the proxies must relay it untouched.
const std::string& AnswerBytes() {
    static const std::string bytes = GeneratedBytes(200'000);
    return bytes;
}

constexpr auto kRefused = ExchangeFailure::ProxyRefused;
// The proxy ends the connection without a reply.
constexpr auto kProxyClosed = ExchangeFailure::ProxyProtocol;

enum class Target {
    Whois,   // a fake WHOIS server that answers
    Closed,  // a loopback port where nothing listens
    Blocked, // a listening port a proxy rule forbids
};

struct Case {
    const char* what;
    uint8_t version; // 1 SOCKS 4, 2 SOCKS 4A, 3 SOCKS 5
    const char* host;
    Target target = Target::Whois;
    std::optional<ExchangeFailure> failure{}; // none: the exchange succeeds
    uint8_t authentication = 0;
    std::string userName{};
    std::string password{};
};

// Runs one exchange through the proxy on `proxyPort` and checks the outcome: the exact
// answer and query line, or an ExchangeError without the WHOIS server being reached.
void RunCase(const Case& c, int proxyPort, const FakeWhoisServer* blocked = nullptr) {
    SCOPED_TRACE(c.what);
    FakeWhoisServer server(WhoisBehaviour::Answer(AnswerBytes()));
    int port = server.port();
    if (c.target == Target::Closed)
        port = FreeLoopbackPort();
    else if (c.target == Target::Blocked)
        port = blocked->port();

    SocksInfo socks{c.version, "127.0.0.1", proxyPort, c.authentication, c.userName, c.password};
    ExchangeLimits limits;
    limits.readTimeoutMs = 5000;
    limits.connectTimeoutMs = 5000;
    limits.handshakeTimeoutMs = 5000;
    WhoisClient client(socks, limits);

    if (!c.failure) {
        std::string answer;
        try {
            answer = client.WhoisExchange(c.host, port, kQuery);
        } catch (const ExchangeError& e) {
            ADD_FAILURE() << "exchange failed: " << e.what();
            return;
        }
        EXPECT_TRUE(answer == AnswerBytes())
            << "got " << answer.size() << " bytes, expected " << AnswerBytes().size();
        EXPECT_EQ(server.Requests(), std::vector<std::string>{kQuery + "\r\n"});
    } else {
        try {
            client.WhoisExchange(c.host, port, kQuery);
            ADD_FAILURE() << "the exchange succeeded";
        } catch (const ExchangeError& e) {
            EXPECT_EQ(e.kind(), *c.failure) << e.what();
        }
        EXPECT_EQ(server.Connections(), 0);
        if (blocked) {
            EXPECT_EQ(blocked->Connections(), 0);
        }
    }
}

// Daemons are started once per suite. A start failure (a missing program, a daemon that
// does not come up) fails every test of the suite with the reason; it is never a skip.
template <class Daemons> class DaemonTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        try {
            daemons_ = std::make_unique<Daemons>();
        } catch (const std::exception& e) {
            error_ = e.what();
        }
    }
    static void TearDownTestSuite() { daemons_.reset(); }
    void SetUp() override { ASSERT_TRUE(daemons_) << error_; }
    static Daemons& daemons() { return *daemons_; }

private:
    static inline std::unique_ptr<Daemons> daemons_;
    static inline std::string error_;
};

struct Microsocks {
    MicrosocksDaemon open;
    MicrosocksDaemon withPassword{"whois-user", "s3cret pass"};
};
using MicrosocksTest = DaemonTest<Microsocks>;

TEST_F(MicrosocksTest, Socks5WithoutAuthentication) {
    const Case cases[] = {
        {"name resolved by the proxy", 3, "localhost"},
        {"dotted address sent as a name", 3, "127.0.0.1"},
        {"nothing listens behind the proxy", 3, "localhost", Target::Closed, kRefused},
        {"password method offered to a proxy without one", 3, "localhost", Target::Whois, kRefused,
         1, "whois-user", "s3cret pass"},
    };
    for (const auto& c : cases)
        RunCase(c, daemons().open.port());
}

// An IPv6 literal goes as address type 4; the proxy connects to it over IPv6.
TEST_F(MicrosocksTest, Socks5ToAnIPv6Literal) {
    if (!HaveIPv6Loopback()) GTEST_SKIP() << "no ::1 here";
    FakeWhoisServer server({}, WhoisBehaviour::Answer(AnswerBytes()), ListenOn::V6);
    WhoisClient client({3, "127.0.0.1", daemons().open.port(), 0, {}, {}}, ExchangeLimits{});
    EXPECT_TRUE(client.WhoisExchange("::1", server.port(), kQuery) == AnswerBytes());
    EXPECT_EQ(server.Requests(), std::vector<std::string>{kQuery + "\r\n"});
}

TEST_F(MicrosocksTest, Socks5WithUserNameAndPassword) {
    const Case cases[] = {
        {"right password", 3, "localhost", Target::Whois, std::nullopt, 1, "whois-user",
         "s3cret pass"},
        {"wrong password", 3, "localhost", Target::Whois, kRefused, 1, "whois-user", "s3cret pas"},
        {"wrong user name", 3, "localhost", Target::Whois, kRefused, 1, "whois-usr", "s3cret pass"},
        {"no authentication offered", 3, "localhost", Target::Whois, kRefused},
    };
    for (const auto& c : cases)
        RunCase(c, daemons().withPassword.port());
}

struct Dante {
    // Listens, but the proxy's rules forbid connecting to it.
    FakeWhoisServer blocked{WhoisBehaviour::Answer("must not be reached\r\n")};
    DanteDaemon dante{blocked.port()};
};
using DanteTest = DaemonTest<Dante>;

TEST_F(DanteTest, Socks4And5) {
    const Case cases[] = {
        {"SOCKS 4", 1, "127.0.0.1"},
        {"SOCKS 4 with a user id", 1, "127.0.0.1", Target::Whois, std::nullopt, 0, "tesseron"},
        {"SOCKS 4, name resolved locally", 1, "localhost"},
        {"SOCKS 5, name resolved by the proxy", 3, "localhost"},
        {"SOCKS 5, dotted address", 3, "127.0.0.1"},
        {"SOCKS 4, nothing listens", 1, "127.0.0.1", Target::Closed, kRefused},
        {"SOCKS 5, nothing listens", 3, "localhost", Target::Closed, kRefused},
        {"SOCKS 4, port blocked by a rule", 1, "127.0.0.1", Target::Blocked, kRefused},
        {"SOCKS 5, port blocked by a rule", 3, "localhost", Target::Blocked, kRefused},
    };
    for (const auto& c : cases)
        RunCase(c, daemons().dante.port(), &daemons().blocked);
}

using SshTest = DaemonTest<SshDynamicForward>;

TEST_F(SshTest, Socks4A4And5) {
    const Case cases[] = {
        {"SOCKS 4A, name resolved by the proxy", 2, "localhost"},
        {"SOCKS 4A, dotted address as a name", 2, "127.0.0.1"},
        {"SOCKS 4", 1, "127.0.0.1"},
        {"SOCKS 5, name resolved by the proxy", 3, "localhost"},
        {"SOCKS 5 with a password method it does not offer", 3, "localhost", Target::Whois,
         kProxyClosed, 1, "whois-user", "s3cret pass"},
        {"SOCKS 4A, nothing listens", 2, "localhost", Target::Closed, kProxyClosed},
        {"SOCKS 5, nothing listens", 3, "localhost", Target::Closed, kProxyClosed},
    };
    for (const auto& c : cases)
        RunCase(c, daemons().port());
}

// The harness itself: a daemon that fails to come up must be explained, and one that
// ignores SIGTERM must still be stopped within a bounded time.
TEST(DaemonHarness, ReportsMissingProgramsAndEarlyExits) {
    try {
        RequireProgram("/nonexistent/danted", "dante-server");
        ADD_FAILURE() << "a missing program was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("dante-server"), std::string::npos) << e.what();
    }

    TempDir dir;
    ChildProcess failing("failing daemon", {"/bin/sh", "-c", "echo bind failed >&2; exit 3"},
                         dir / "log");
    try {
        failing.WaitListening(FreeLoopbackPort(), 5s);
        ADD_FAILURE() << "an exited daemon was taken as listening";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("bind failed"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("exit code 3"), std::string::npos) << e.what();
    }
}

TEST(DaemonHarness, StopsADaemonThatIgnoresSigterm) {
    TempDir dir;
    auto child = std::make_unique<ChildProcess>(
        "stubborn daemon",
        std::vector<std::string>{"/bin/sh", "-c", "trap '' TERM; echo ready; sleep 60"},
        dir / "log");
    const pid_t pid = child->pid();
    // Only once the trap is set does the test mean anything.
    for (int i = 0; i < 500 && child->Log().find("ready") == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_NE(child->Log().find("ready"), std::string::npos) << child->Log();
    const auto start = std::chrono::steady_clock::now();
    child.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(took, 1s) << "SIGTERM was not ignored; the test proves nothing";
    EXPECT_LT(took, 10s);
    EXPECT_NE(::kill(pid, 0), 0) << "the process is still there";
}

} // namespace
} // namespace tesseron::test
