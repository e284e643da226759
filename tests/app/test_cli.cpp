// tesseron-cli as a user runs it: the real binary against loopback servers.
#include "desktop/InstanceLock.h"
#include "support/FakeServer.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace tesseron::test;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Settings that keep every run on loopback: no name is looked up unless a test asks.
const TempDir& SafeSettingsDir() {
    static const TempDir dir;
    static const bool written = [] {
        dir.Write("safe.ini", "[Defaults]\nDetermineIpAddress=0\nDetermineReverseName=0\n"
                              "DefaultLang=english.lng\n");
        return true;
    }();
    (void)written;
    return dir;
}

// `env` holds NAME=VALUE entries added to the program's environment.
Outcome RunCliRaw(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    Launch launch;
    launch.argv = {TESSERON_BINARY_DIR "/tesseron-cli"};
    launch.argv.insert(launch.argv.end(), args.begin(), args.end());
    launch.env = env;
    // The test fails on the exit code when the program says nothing for this long.
    const Captured c = RunCaptured(std::move(launch), std::chrono::seconds(20));
    return {c.exitCode, c.out, c.err};
}

Outcome RunCli(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    const bool hasSettings = std::find(args.begin(), args.end(), "--settings") != args.end();
    const bool listing = std::find(args.begin(), args.end(), "--servers") != args.end();
    if (!hasSettings && !listing)
        args.insert(args.begin(), {"--settings", (SafeSettingsDir() / "safe.ini").string()});
    return RunCliRaw(args, env);
}

std::string Server(const FakeWhoisServer& s) {
    return "127.0.0.1:" + std::to_string(s.port());
}

// Errors are one sentence on one line, named after the program.
void ExpectOneSentence(const std::string& err) {
    EXPECT_EQ(err.rfind("tesseron-cli: ", 0), 0u) << err;
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(err.back(), '\n') << err;
}

TEST(CliExchange, AnswerBytesGoToStdoutExactly) {
    const std::string answer("Domain Name: EXAMPLE.COM\r\n\0\x01\xff tail\n", 33);
    FakeWhoisServer server(WhoisBehaviour::Answer(answer));
    const auto r = RunCli({"--server", Server(server), "example.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, answer);
    EXPECT_EQ(r.err, "I Query example.com started\n"
                     "I Asking the WHOIS server " +
                         Server(server) +
                         "\n"
                         "I Query example.com finished\n");
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"example.com\r\n"});
}

TEST(CliExchange, FailuresExitWithOneAndOneSentence) {
    struct Case {
        const char* name;
        WhoisBehaviour behaviour;
        std::vector<std::string> extra;
    };
    const Case cases[] = {
        {"silent past the time-out", WhoisBehaviour::Silent(), {"--timeout", "200"}},
        {"part then silent", WhoisBehaviour::PartThenSilent("partial"), {"--timeout", "200"}},
        {"reset", WhoisBehaviour::PartThenReset("partial"), {}},
        // A byte every 100 ms never waits out the time-out; the whole exchange is bounded.
        {"trickle",
         WhoisBehaviour::Pieces(std::vector<std::string>(100, "x"), 100),
         {"--timeout", "200"}},
    };
    for (const auto& c : cases) {
        FakeWhoisServer server(c.behaviour);
        std::vector<std::string> args{"--server", Server(server)};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.push_back("example.com");
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name << ": nothing of a failed answer is printed";
        EXPECT_TRUE(r.err.ends_with("E Query example.com failed: no server answered\n")) << r.err;
    }
}

// A server's name goes where --connect-to says, without a look-up.
TEST(CliExchange, ConnectToSendsANamedServerToTheFake) {
    FakeWhoisServer server(WhoisBehaviour::Answer("mapped\n"));
    const auto r =
        RunCli({"--server", "whois.arin.invalid", "--connect-to",
                "whois.arin.invalid:43:127.0.0.1:" + std::to_string(server.port()), "example.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "mapped\n");
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"example.com\r\n"});
}

TEST(CliExchange, EmptyAnswerIsSuccess) {
    FakeWhoisServer server(WhoisBehaviour::Close());
    const auto r = RunCli({"--server", Server(server), "--timeout", "0", "x.test"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(CliExchange, RefusedConnectionFails) {
    int port;
    {
        FakeWhoisServer gone;
        port = gone.port();
    }
    const auto r = RunCli({"--server", "127.0.0.1:" + std::to_string(port), "example.com"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.ends_with("E Query example.com failed: no server answered\n")) << r.err;
}

// The reason of the last failed exchange comes just before the end line, in the language
// file's words.
TEST(CliExchange, FailedExchangeSaysWhy) {
    int closed;
    {
        FakeWhoisServer gone;
        closed = gone.port();
    }
    FakeWhoisServer silent(WhoisBehaviour::Silent());
    FakeWhoisServer reset(WhoisBehaviour::PartThenReset("partial"));
    const std::pair<std::string, std::string> cases[] = {
        {"127.0.0.1:" + std::to_string(closed), "the server refused the connection."},
        {Server(silent), "the server did not answer in time."},
        {Server(reset), "the connection broke off."},
    };
    for (const auto& [server, why] : cases) {
        const auto r = RunCli({"--server", server, "--timeout", "200", "example.com"});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_TRUE(r.err.ends_with("E The exchange with " + server + " failed: " + why +
                                    "\nE Query example.com failed: no server answered\n"))
            << r.err;
    }
}

TEST(CliExchange, ThroughEachKindOfProxy) {
    struct Case {
        const char* scheme;
        SocksScript script;
        const char* userInfo;
    };
    FakeWhoisServer whois(WhoisBehaviour::Respond([](const std::string& q) { return "A:" + q; }));
    const Case cases[] = {
        {"socks4", SocksScript::Socks4Granted(whois.port()), ""},
        {"socks4a", SocksScript::Socks4Granted(whois.port()), "me@"},
        {"socks5", SocksScript::Socks5Granted(whois.port(), false), ""},
        {"socks5", SocksScript::Socks5Granted(whois.port(), true), "us%3Aer:p%40ss@"},
    };
    for (const auto& c : cases) {
        FakeSocksProxy proxy(c.script);
        const auto r = RunCli({"--proxy",
                               std::string(c.scheme) + "://" + c.userInfo +
                                   "127.0.0.1:" + std::to_string(proxy.port()),
                               "--server", "localhost:" + std::to_string(whois.port()), "q.test"});
        EXPECT_EQ(r.exitCode, 0) << c.scheme << ": " << r.err;
        EXPECT_EQ(r.out, "A:q.test") << c.scheme;
        ASSERT_EQ(proxy.Requests().size(), 1u) << c.scheme;
        if (std::string(c.userInfo) == "us%3Aer:p%40ss@") {
            EXPECT_EQ(proxy.Requests()[0][1], std::string("\x01\x05us:er\x04p@ss", 12));
        }
    }
}

TEST(CliUsage, BadCommandLinesExitWith64) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--server"},
        {"--server", "host:0", "q"},
        {"--server", "host:70000", "q"},
        {"--server", ":43", "q"},
        {"--server", "h", "--timeout", "-1", "q"},
        {"--server", "h", "--timeout", "soon", "q"},
        {"--server", "h", "--proxy", "http://p:1", "q"},
        {"--server", "h", "--proxy", "socks4://u:pw@p:1", "q"},
        {"--server", "h", "--bogus", "q"},
        {"--server", "h", "--connect-to", "h:43:127.0.0.1", "q"},
        {"--results", "r.xml", "x"},
        {"--servers", "--store", "x"},
        {"--servers", "a", "b"},
        {"--servers", "--server", "h", "x"},
        {"--servers"},
        {"--update-server-list", "--store"},
        {"--update-server-list", "--servers", "x"},
        {"--update-server-list", "http://a/", "http://b/"},
    };
    for (const auto& args : cases) {
        const auto r = RunCli(args);
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_EQ(r.exitCode, 64) << joined;
        EXPECT_EQ(r.out, "") << joined;
        ExpectOneSentence(r.err);
    }
}

// Help and version as GNU programs give them: to standard output, exit 0, wherever the
// option stands; a bad option points at --help on standard error.
TEST(CliUsage, HelpAndVersion) {
    using Lines = std::vector<std::string>;
    const struct {
        Lines args;
        int exitCode;
        std::string firstLine;
        Lines outHas;
        std::string errHas;
    } cases[] = {
        {{"--help"},
         0,
         "Usage: tesseron-cli [OPTION]... ADDRESS...",
         {"--servers", "--connect-to", "--update-server-list", "\nOptions:\n", "  -h, --help  ",
          "Exit status", "\nReport bugs to: ", "\nTesseron home page: <https://"},
         ""},
        {{"-h"}, 0, "Usage: tesseron-cli [OPTION]... ADDRESS...", {}, ""},
        {{"--server", "h", "x", "--help"}, 0, "Usage: tesseron-cli [OPTION]... ADDRESS...", {}, ""},
        {{"--version"},
         0,
         "tesseron-cli (Tesseron) 1.0.1",
         {"\nCopyright (C) 20", "\nLicense ", "\nThis is free software", "There is NO WARRANTY"},
         ""},
        {{"x", "--version"}, 0, "tesseron-cli (Tesseron) 1.0.1", {}, ""},
        {{"--hlep"}, 64, "", {}, "Try 'tesseron-cli --help'."},
    };
    for (const auto& c : cases) {
        const auto r = RunCliRaw(c.args);
        const std::string what = c.args.back();
        EXPECT_EQ(r.exitCode, c.exitCode) << what;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), c.firstLine) << what;
        for (const auto& piece : c.outHas)
            EXPECT_NE(r.out.find(piece), std::string::npos) << what << ": " << piece;
        if (c.errHas.empty())
            EXPECT_EQ(r.err, "") << what;
        else
            EXPECT_NE(r.err.find(c.errHas), std::string::npos) << what << ": " << r.err;
        // Help fits a terminal of 80 columns.
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 80u) << what << ": " << line;
    }
}

const char* kList = R"(<?xml version="1.0" encoding="UTF-8"?>
<whois>
  <domains>
    <z>
      <suffix>.example</suffix>
      <servers>
        <s><address>whois.example</address><whois_prefix>-T dn </whois_prefix></s>
        <s><address>backup.example</address></s>
      </servers>
      <domains>
        <z><suffix>.co.example</suffix>
           <servers><s><address>co.whois.example</address></s></servers></z>
      </domains>
    </z>
    <z><suffix>.empty</suffix></z>
    <z><suffix>ip</suffix><servers><s><address>rir.test</address></s></servers></z>
  </domains>
</whois>
)";

TEST(CliServers, ListsTheZoneServersInOrder) {
    TempDir dir;
    const auto list = dir.Write("whois.xml", kList).string();
    struct Case {
        const char* text;
        int exitCode;
        const char* out;
    };
    const Case cases[] = {
        {"A.Example", 0, "whois.example\t-T dn \nbackup.example\t\n"},
        {"x.co.example", 0, "co.whois.example\t\n"},
        {"ip", 0, "rir.test\t\n"},
        {"x.empty", 2, ""},
        {"nothing.zz", 2, ""},
        // The name as a run takes it: trimmed, the web address reduced to its host, "www."
        // dropped, an IPv4 address looked up as "ip", a name never in the "ip" zone.
        {"  x.co.example\t", 0, "co.whois.example\t\n"},
        {"https://www.x.co.example:8080/a", 0, "co.whois.example\t\n"},
        {"www.co.example", 0, "whois.example\t-T dn \nbackup.example\t\n"},
        {"192.0.2.1", 0, "rir.test\t\n"},
        {"friendship", 2, ""},
        {"   ", 3, ""},
        // IPv6 literals and networks go to the "ip" zone; an invalid IDN nowhere.
        {"http://[2001:DB8::1]:80/", 0, "rir.test\t\n"},
        {"192.0.2.0/24", 0, "rir.test\t\n"},
        {"AS15169", 2, ""},
        {"пример-.рф", 3, ""},
    };
    for (const auto& c : cases) {
        // Port 43 alone: the shipped RDAP services of these names are listed elsewhere.
        const auto r = RunCli({"--servers", "--protocol", "whois", "--server-list", list, c.text});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.text << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.text;
        if (c.exitCode != 0) ExpectOneSentence(r.err);
    }
}

TEST(CliServers, BrokenListsAreReportedNotCrashedOn) {
    TempDir dir;
    const std::pair<const char*, std::string> cases[] = {
        {"missing", ""},
        {"truncated", std::string(kList).substr(0, 200)},
        {"binary", std::string("\x7f\x45\x4c\x46\0\0\x01\x02\xff\xfe", 10)},
        {"unclosed set", "<w><domains><z><suffix>.[ab</suffix></z></domains></w>"},
    };
    for (const auto& [name, content] : cases) {
        const auto path = dir / name;
        if (std::string(name) != "missing") dir.Write(name, content);
        const auto r = RunCli({"--servers", "--server-list", path.string(), "a.example"});
        EXPECT_EQ(r.exitCode, 2) << name;
        ExpectOneSentence(r.err);
    }
}

// The shipped list and the registries' data beside the program: the holder of a number
// first, an IDN in its A-label zone.
TEST(CliServers, ShippedDataPutsTheHoldingRegistryFirst) {
    const std::pair<const char*, const char*> cases[] = {
        {"AS15169", "whois.arin.net\t\n"},     {"as 3333", "whois.ripe.net\t\n"},
        {"193.0.6.139", "whois.ripe.net\t\n"}, {"2c0f:f000::/32", "whois.afrinic.net\t\n"},
        {"пример.рф", "whois.tcinet.ru\t\n"},
    };
    for (const auto& [text, first] : cases) {
        const auto r = RunCli({"--servers", text});
        EXPECT_EQ(r.exitCode, 0) << text << ": " << r.err;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), first) << text;
    }
}

TEST(CliServers, ReadsTheProgramsOwnListByDefault) {
    const auto r = RunCli({"--servers", "example.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find('\t'), std::string::npos);
}

// A server list whose ".test" zone is served by the given loopback servers.
std::string ListFor(const TempDir& dir, const std::vector<int>& ports) {
    std::string servers;
    for (int p : ports)
        servers += "<s><address>127.0.0.1:" + std::to_string(p) + "</address></s>";
    return dir
        .Write("whois.xml", "<w><domains><z><suffix>.test</suffix><servers>" + servers +
                                "</servers></z></domains></w>")
        .string();
}

// The shipped list and registries' data with the registries' names sent to fakes: each kind
// reaches the registry that holds it with that registry's query line, an address's last
// referral is followed, and no name goes to the resolver.
TEST(CliRun, EachKindReachesItsRegistryWithItsQueryLine) {
    const auto echo = [](std::string who) {
        return WhoisBehaviour::Respond([who](const std::string& q) {
            // ARIN's answer for an address held elsewhere names each block's registry.
            if (who == "arin" && q.starts_with("n + 2001"))
                return std::string("ReferralServer: whois://whois.apnic.net\r\n"
                                   "ReferralServer: whois://whois.ripe.net\r\n");
            return who + ": " + q + "\n";
        });
    };
    FakeWhoisServer arin(echo("arin")), ripe(echo("ripe")), ru(echo("ru")), other(echo("other"));
    std::vector<std::string> map;
    for (const auto& [host, fake] : std::initializer_list<std::pair<const char*, FakeWhoisServer*>>{
             {"whois.arin.net", &arin},
             {"whois.ripe.net", &ripe},
             {"whois.tcinet.ru", &ru},
             {"whois.apnic.net", &other},
             {"whois.lacnic.net", &other},
             {"whois.afrinic.net", &other}})
        map.insert(map.end(), {"--connect-to",
                               std::string(host) + "::127.0.0.1:" + std::to_string(fake->port())});
    const struct {
        const char* typed;
        const char* out;
    } cases[] = {
        {"пример.рф", "ru: xn--e1afmkfd.xn--p1ai\n"},
        {"[2001:4860::8888]", "ripe: 2001:4860::8888\n"},
        {"AS15169", "arin: a 15169\n"},
        {"8.8.8.77/24", "arin: r + = 8.8.8.0/24\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = map;
        args.push_back(c.typed);
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, 0) << c.typed << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.typed;
    }
    EXPECT_EQ(arin.Queries(),
              (std::vector<std::string>{"n + 2001:4860::8888", "a 15169", "r + = 8.8.8.0/24"}));
    EXPECT_EQ(other.Connections(), 0);
}

TEST(CliRun, FollowsAReferralAndFailsOverLikeTheWindow) {
    TempDir dir;
    FakeWhoisServer registrar(WhoisBehaviour::Answer("Registrar answer\n"));
    FakeWhoisServer registry(
        WhoisBehaviour::Answer("Domain: A.TEST\r\n   Registrar WHOIS Server: 127.0.0.1:" +
                               std::to_string(registrar.port()) + "\r\n"));
    int refused;
    {
        FakeWhoisServer gone;
        refused = gone.port();
    }
    const auto list = ListFor(dir, {refused, registry.port()});
    const auto r = RunCli({"--server-list", list, "https://www.a.test:8080/x"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Registrar answer\n");
    EXPECT_EQ(r.err, "I Query a.test started\n"
                     "I Asking the WHOIS server 127.0.0.1:" +
                         std::to_string(refused) +
                         "\n"
                         "I Asking the WHOIS server " +
                         Server(registry) +
                         "\n"
                         "I Asking the WHOIS server 127.0.0.1:" +
                         std::to_string(registrar.port()) +
                         "\n"
                         "I Query a.test finished\n");
    EXPECT_EQ(registrar.Queries(), std::vector<std::string>{"a.test"});
}

// The command line follows the window: --as-address is "Query as domain" off, which
// follows a referral only to a server of the zone; a server list that fails part-way is
// not used at all.
TEST(CliRun, FollowsTheWindowsRules) {
    TempDir dir;
    FakeWhoisServer unlisted(WhoisBehaviour::Answer("unlisted answer\n"));
    FakeWhoisServer registry(WhoisBehaviour::Answer(
        "ReferralServer: 127.0.0.1:" + std::to_string(unlisted.port()) + "\nfirst answer\n"));
    // Both the listed registry and the unlisted referral answer every connection alike.
    const std::string ipZone =
        "<z><suffix>ip</suffix><servers><s><address>127.0.0.1:" + std::to_string(registry.port()) +
        "</address></s></servers></z>";
    const auto good = dir.Write("good.xml", "<w><domains>" + ipZone + "</domains></w>").string();
    // The zone is read, then a value holding an element ends the load.
    const auto broken = dir.Write("broken.xml", "<w><domains>" + ipZone +
                                                    "<z><suffix><b/></suffix></z></domains></w>")
                            .string();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        const char* out;
    };
    const std::string whole =
        "ReferralServer: 127.0.0.1:" + std::to_string(unlisted.port()) + "\nfirst answer\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--server-list", good, "127.0.0.1"}, "unlisted answer\n"},
        {{"--server-list", good, "--as-address", "127.0.0.1"}, whole},
        {{"--server-list", broken, "127.0.0.1"}, ""},
    };
    for (const auto& [args, out] : cases) {
        SCOPED_TRACE(args[1] + " " + args[2]);
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, out.empty() ? 2 : 0) << r.err;
        EXPECT_EQ(r.out, out);
    }
}

TEST(CliRun, ExitCodeIsThatOfTheLastAddress) {
    TempDir dir;
    FakeWhoisServer server(WhoisBehaviour::Answer("ok\n"));
    const auto list = ListFor(dir, {server.port()});
    struct Case {
        std::vector<std::string> addresses;
        int exitCode;
        const char* out;
    };
    const Case cases[] = {
        {{"a.test"}, 0, "ok\n"},
        {{"nowhere.zz"}, 2, ""},
        {{"   "}, 3, ""},
        {{"a.test\r\nb.test"}, 3, ""}, // a second line never reaches the server
        {{"nowhere.zz", "a.test"}, 0, "ok\n"},
        {{"a.test", "b.test", "nowhere.zz"}, 2, "ok\nok\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--server-list", list};
        args.insert(args.end(), c.addresses.begin(), c.addresses.end());
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.addresses.back() << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.addresses.back();
    }
}

TEST(CliRun, StoreKeepsAnswersAndRefusesWhileAWindowRuns) {
    TempDir dir;
    FakeWhoisServer server(WhoisBehaviour::Respond([](const std::string& q) { return "A " + q; }));
    const auto list = ListFor(dir, {server.port()});
    const auto results = (dir / "results.xml").string();
    // What a run killed while writing left behind goes; look-alikes stay.
    dir.Write("results.xml.tmp-k1ll3d00", "half a file");
    dir.Write("results.xml.tmp-mine", "someone else's");
    for (const char* name : {"a.test", "b.test", "a.test"}) {
        const auto r = RunCli({"--server-list", list, "--store", "--results", results, name});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    const auto text = ReadFile(results);
    EXPECT_EQ(text.find("<QueryString>a.test</QueryString>"),
              text.rfind("<QueryString>a.test</QueryString>"))
        << "a repeated query refreshes its entry";
    EXPECT_LT(text.find("b.test"), text.find("a.test")) << "the refreshed entry moves to the end";
    EXPECT_FALSE(std::filesystem::exists(dir / "results.xml.tmp-k1ll3d00"));
    EXPECT_TRUE(std::filesystem::exists(dir / "results.xml.tmp-mine"));

    const auto lock = tesseron::InstanceLock::TryAcquire(tesseron::InstanceLock::For(results));
    ASSERT_TRUE(lock.has_value());
    const auto refused = RunCli({"--server-list", list, "--store", "--results", results, "c.test"},
                                {"TESSERON_STORE_WAIT_MS=300"});
    EXPECT_EQ(refused.exitCode, 1);
    ExpectOneSentence(refused.err);
    EXPECT_NE(refused.err.find("in use"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(results), text);
    EXPECT_EQ(server.Connections(), 3) << "nothing is asked while a window holds the file";
}

// One writer at a time: a --store run waits for the holder of the results file instead of
// refusing at once or writing over what the holder stored.
TEST(CliRun, StoreWaitsForTheOtherWriter) {
    TempDir dir;
    FakeWhoisServer server(WhoisBehaviour::Delayed(500, "slow answer\n"));
    const auto list = ListFor(dir, {server.port()});
    const auto results = (dir / "results.xml").string();
    const auto store = [&](const char* name) {
        return std::async(std::launch::async, [&, name] {
            return RunCli({"--server-list", list, "--store", "--results", results, name},
                          {"TESSERON_STORE_WAIT_MS=8000"});
        });
    };

    auto first = store("a.test");
    auto second = store("b.test");
    EXPECT_EQ(first.get().exitCode, 0);
    EXPECT_EQ(second.get().exitCode, 0);
    const auto both = ReadFile(results);
    EXPECT_NE(both.find("<QueryString>a.test</QueryString>"), std::string::npos) << both;
    EXPECT_NE(both.find("<QueryString>b.test</QueryString>"), std::string::npos) << both;

    // A window that closes while the run waits: the run goes on once the lock is free.
    auto lock = tesseron::InstanceLock::TryAcquire(tesseron::InstanceLock::For(results));
    ASSERT_TRUE(lock.has_value());
    auto waiting = store("c.test");
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    lock.reset();
    const auto r = waiting.get();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(ReadFile(results).find("<QueryString>c.test</QueryString>"), std::string::npos);
}

} // namespace
