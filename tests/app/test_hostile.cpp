// Hostile servers against the client as a whole process: every case must end within the
// run's own time-outs (plus a margin for starting the program) and within a stated
// resident size, and say what happened. Port 43 goes through tesseron-cli; RDAP through
// hostile_rdap_probe, a run that asks RDAP only.
#include "query/RdapRender.h"
#include "serverdb/uWhoisResultList.h"
#include "support/FakeServer.h"
#include "support/Process.h"
#include "support/ScriptedHttpServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>

using namespace tesseron;
using namespace tesseron::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr long kMiB = 1024 * 1024;
// A run's read time-out; a whole exchange (or RDAP try) may last four of them.
constexpr int kTimeoutMs = 1200;
constexpr int kExchangeMs = 4 * kTimeoutMs;
// Starting the program, loading its data and reaping it, on a busy machine.
constexpr long kMarginMs = 2500;

struct Measured {
    Captured run;
    long ms = 0;
};

// Runs the program to its end; a program silent for far longer than any bound is killed
// (and then fails on its exit code).
Measured Measure(std::vector<std::string> argv) {
    Launch launch;
    launch.argv = std::move(argv);
    const auto start = Clock::now();
    Measured m{RunCaptured(std::move(launch), std::chrono::seconds(30)), 0};
    m.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    return m;
}

// Settings that keep every run on loopback: nothing is looked up.
std::string SafeSettings() {
    static const TempDir dir;
    static const std::string path =
        dir.Write("safe.ini", "[Defaults]\nDetermineIpAddress=0\nDetermineReverseName=0\n"
                              "DefaultLang=english.lng\n")
            .string();
    return path;
}

std::string Loop(int port) {
    return "127.0.0.1:" + std::to_string(port);
}

// What each case must come to, and how it is reported when it does not.
struct Bounds {
    long ms;
    long rssMiB;
};

void ExpectWithin(const Measured& m, const Bounds& b, const char* name) {
    EXPECT_LE(m.ms, b.ms) << name;
    EXPECT_LE(m.run.maxRssKb, b.rssMiB * 1024) << name;
    // The figures of each case, for the record of what a user meets.
    const std::string& err = m.run.err;
    // The cause a user reads: the first error line, or the last line of a success.
    const auto cause = err.rfind("E ", 0) == 0 ? 0 : err.find("\nE ");
    const auto last = err.rfind('\n', err.size() - 2);
    const std::string said = cause != std::string::npos  ? err.substr(cause ? cause + 1 : 0)
                             : last != std::string::npos ? err.substr(last + 1)
                                                         : err;
    std::printf("[hostile] %-34s exit %d  %5ld ms  %4ld MiB  %.*s", name, m.run.exitCode, m.ms,
                m.run.maxRssKb / 1024, static_cast<int>(said.find('\n') + 1), said.c_str());
}

std::string Tail(const std::string& err) {
    return err.size() > 600 ? err.substr(err.size() - 600) : err;
}

struct Ports {
    int a = 0, b = 0, closed = 0;
};

TEST(Hostile, Port43ServersAreBoundedInTimeAndMemory) {
    const std::string binary("\0\x01NUL\0 \xff\xfe \xc3\x28 \xed\xa0\x80 \xf4\x90\x80\x80 "
                             "\xc0\xaf \r\n\x1b[31m tail \xe2\x82",
                             44);
    const std::string longReferral = std::string(9992, 'a') + ".invalid";
    struct Case {
        const char* name;
        std::function<WhoisBehaviour(const Ports&)> first; // the server asked
        std::function<WhoisBehaviour(const Ports&)> next;  // the one a referral names
        Bounds bounds;
        int exitCode;
        std::optional<std::string> out; // exactly; nullopt: anything
        const char* errHas;
        int asked[2]; // connections to the first and the next server
    };
    const long quick = kTimeoutMs + kMarginMs;
    const Case cases[] = {
        {"answer of 100 MiB",
         [](auto&) { return WhoisBehaviour::Generated(100 * kMiB); },
         {},
         // The 64 MiB bound is held once (twice would pass 128 MiB): refused, never copied.
         {quick, 120},
         1,
         "",
         "failed: the answer is too large.",
         {1, 0}},
        {"endless answer",
         [](auto&) { return WhoisBehaviour::Endless(); },
         {},
         {kExchangeMs + kMarginMs, 120},
         1,
         "",
         "failed: the answer is too large.",
         {1, 0}},
        {"one byte a second",
         [](auto&) { return WhoisBehaviour::Pieces(std::vector<std::string>(60, "x"), 1000); },
         {},
         {kExchangeMs + kMarginMs, 64},
         1,
         "",
         "was ended",
         {1, 0}},
        {"never closes",
         [](auto&) { return WhoisBehaviour::PartThenSilent("Domain: A\r\n"); },
         {},
         {quick, 64},
         1,
         "",
         "did not answer in time",
         {1, 0}},
        {"reset mid-answer",
         [](auto&) { return WhoisBehaviour::PartThenReset("Domain: A\r\n"); },
         {},
         {quick, 64},
         1,
         "",
         "the connection broke off",
         {1, 0}},
        {"NUL bytes and invalid UTF-8",
         [&](auto&) { return WhoisBehaviour::Answer(binary); },
         {},
         {quick, 64},
         0,
         binary,
         "finished",
         {1, 0}},
        {"referral loop",
         [](const Ports& p) { return WhoisBehaviour::Answer("Whois Server: " + Loop(p.b) + "\n"); },
         [](const Ports& p) {
             return WhoisBehaviour::Answer("Whois Server: " + Loop(p.a) + "\nB answer\n");
         },
         {quick, 64},
         0,
         "Whois Server: 127.0.0.1:{A}\nB answer\n",
         "finished",
         {1, 1}},
        {"referral to a closed port",
         [](const Ports& p) {
             return WhoisBehaviour::Answer("Whois Server: " + Loop(p.closed) + "\n");
         },
         {},
         {quick, 64},
         1,
         "",
         "failed: the server refused the connection",
         {1, 0}},
        {"referral of 10,000 characters",
         [&](auto&) { return WhoisBehaviour::Answer("Whois Server: " + longReferral + "\r\n"); },
         {},
         {quick, 64},
         1,
         "",
         "the query cannot be sent as it is.",
         {1, 0}},
        {"referral of 60 MiB",
         [](auto&) { return WhoisBehaviour::Padded("Whois Server: ", 'a', 60 * kMiB); },
         {},
         {quick, 120},
         1,
         "",
         "the query cannot be sent as it is.",
         {1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWhoisServer first, next;
        RefusingPort closed;
        const Ports ports{first.port(), next.port(), closed.port()};
        first.Enqueue(c.first(ports));
        if (c.next) next.Enqueue(c.next(ports));
        TempDir dir;
        const std::string resultsFile = (dir.path() / "results.xml").string();
        const Measured m =
            Measure({TESSERON_BINARY_DIR "/tesseron-cli", "--settings", SafeSettings(), "--timeout",
                     std::to_string(kTimeoutMs), "--store", "--results", resultsFile, "--server",
                     Loop(first.port()), "example.com"});
        ExpectWithin(m, c.bounds, c.name);
        EXPECT_EQ(m.run.exitCode, c.exitCode) << Tail(m.run.err);
        if (c.out) {
            std::string out = *c.out;
            if (const auto at = out.find("{A}"); at != std::string::npos)
                out.replace(at, 3, std::to_string(first.port()));
            EXPECT_TRUE(m.run.out == out) << "the answer came out changed";
        }
        EXPECT_NE(m.run.err.find(c.errHas), std::string::npos) << Tail(m.run.err);
        // What is printed is kept, byte for byte; a failure keeps nothing.
        TWhoisResultCollection kept;
        kept.LoadFromFile(resultsFile);
        ASSERT_EQ(kept.Count(), c.exitCode == 0 ? 1 : 0);
        if (kept.Count() == 1) {
            EXPECT_TRUE(kept[0].RawAnswer == m.run.out);
        }
        EXPECT_EQ(first.Connections(), c.asked[0]);
        EXPECT_EQ(next.Connections(), c.asked[1]);
    }
}

TEST(Hostile, ProxiesThatAnswerGarbageFailAtOnce) {
    const std::string garbage = "HTTP/1.0 400 Bad Request\r\n\r\n" + std::string(64 * 1024, '\xff');
    struct Case {
        const char* name;
        const char* scheme;
        SocksStep::Then then;
    };
    const Case cases[] = {
        {"SOCKS 5 proxy answers garbage", "socks5", SocksStep::Then::Close},
        {"SOCKS 4A proxy answers garbage", "socks4a", SocksStep::Then::Silent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWhoisServer server(WhoisBehaviour::Answer("never reached\n"));
        FakeSocksProxy proxy(SocksScript{{{garbage, c.then}}});
        const Measured m =
            Measure({TESSERON_BINARY_DIR "/tesseron-cli", "--settings", SafeSettings(), "--timeout",
                     std::to_string(kTimeoutMs), "--proxy",
                     std::string(c.scheme) + "://u@127.0.0.1:" + std::to_string(proxy.port()),
                     "--server", Loop(server.port()), "example.com"});
        ExpectWithin(m, {kTimeoutMs + kMarginMs, 64}, c.name);
        EXPECT_EQ(m.run.exitCode, 1);
        EXPECT_EQ(m.run.out, "");
        EXPECT_NE(m.run.err.find("the proxy did not pass the connection on."), std::string::npos)
            << Tail(m.run.err);
        EXPECT_EQ(server.Connections(), 0);
    }
}

TEST(Hostile, RdapServersAreBoundedInTimeAndMemory) {
    const Reply rdapHead{200, "", "Content-Type: application/rdap+json\r\n"};
    const auto stream = [&](std::size_t bytes, bool chunked) {
        Reply r = rdapHead;
        r.stream = bytes;
        r.chunked = chunked;
        return r;
    };
    const auto redirect = [](const std::string& to) {
        return Reply{302, "", "Location: http://rdap.hostile.test" + to + "\r\n"};
    };
    const auto withBody = [&](std::string body) {
        Reply r = rdapHead;
        r.body = std::move(body);
        return r;
    };
    const std::string deep(1000000, '[');
    // Deep enough for any JSON reader's default bound, too deep for the renderer's.
    const std::string deepMember = R"({"objectClassName":"domain","ldhName":"x.test","x":)" +
                                   std::string(1000, '[') + std::string(1000, ']') + "}";
    // A token every two bytes: the dearest answer per byte for a JSON reader, each of
    // whose passes holds about twelve bytes per byte of it.
    std::string tokens = R"({"objectClassName":"domain","ldhName":"x.test","x":[)";
    for (int i = 0; i < 2 * 1024 * 1024; ++i)
        tokens += "1,";
    tokens.back() = ']';
    tokens += "}";
    struct Case {
        const char* name;
        std::vector<Reply> replies; // of /domain/x.test, in turn
        Bounds bounds;
        int exitCode;
        const char* errHas;
    };
    const long quick = kTimeoutMs + kMarginMs;
    const Case cases[] = {
        {"RDAP endless chunked body",
         {stream(Reply::kEndless, true)},
         {kExchangeMs + kMarginMs, 120},
         1,
         "larger than 67108864 bytes"},
        // Announced as over the bound: refused before any of it is read.
        {"RDAP body of 100 MiB",
         {stream(100 * kMiB, false)},
         {quick, 40},
         1,
         "larger than 67108864 bytes"},
        {"RDAP redirect loop", {redirect("/loop/x.test")}, {quick, 64}, 1, "redirect"},
        {"RDAP 1,000,000 '['", {withBody(deep)}, {quick, 64}, 1, "is not JSON"},
        {"RDAP object nested 1,000 deep",
         {withBody(deepMember)},
         {quick, 64},
         1,
         "is JSON nested deeper than 128 levels"},
        {"RDAP answer of 4 MiB of tokens",
         {withBody(std::move(tokens))},
         {kExchangeMs + kMarginMs, 120},
         0,
         "finished"},
        {"RDAP server never answers",
         {Reply{200, "", "", true}},
         {kExchangeMs + kMarginMs, 64},
         1,
         "did not answer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server(
            {{"/domain/x.test", c.replies}, {"/loop/x.test", {redirect("/domain/x.test")}}});
        const std::string url = server.Url("/");
        const std::string port = url.substr(url.rfind(':') + 1, url.size() - url.rfind(':') - 2);
        const Measured m = Measure({TESSERON_BINARY_DIR "/tests/hostile_rdap_probe", port,
                                    std::to_string(kTimeoutMs), "x.test"});
        ExpectWithin(m, c.bounds, c.name);
        EXPECT_EQ(m.run.exitCode, c.exitCode) << Tail(m.run.err);
        EXPECT_NE(m.run.err.find(c.errHas), std::string::npos) << Tail(m.run.err);
    }
}

// Deep JSON never reaches the run (above), but the readers must stand it by themselves.
TEST(Hostile, DeepJsonNeitherRendersNorCrashes) {
    const std::string inputs[] = {
        std::string(1000000, '['),
        std::string(1000000, '[') + std::string(1000000, ']'),
        R"({"objectClassName":"domain","x":)" + std::string(1000000, '[') + "1" +
            std::string(1000000, ']') + "}",
    };
    for (const std::string& json : inputs) {
        EXPECT_EQ(RenderRdap(json), "");
        EXPECT_TRUE(PrettyRdapJson(json) == json);
    }
}

} // namespace
