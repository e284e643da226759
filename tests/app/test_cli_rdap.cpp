// tesseron-cli asking RDAP: the real binary against a loopback HTTPS server with a
// certificate of its own, registries' names sent there with --connect-to, and a bootstrap
// folder of the test's own.
#include "query/RdapRender.h"
#include "support/Daemons.h"
#include "support/FakeServer.h"
#include "support/Process.h"
#include "support/ScriptedHttpServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tesseron::test;

namespace {

using Script = std::map<std::string, std::vector<Reply>>;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string Fixture(const char* name) {
    return ReadFile(std::filesystem::path(TESSERON_SOURCE_DIR "/tests/query/rdap") / name);
}

Reply Json(std::string body) {
    return {200, std::move(body), "Content-Type: application/rdap+json\r\n"};
}
Reply Moved(const std::string& to) {
    return {302, "", "Location: " + to + "\r\n"};
}
std::string Domain(const std::string& name) {
    return R"({"objectClassName": "domain", "ldhName": ")" + name + R"(", "handle": "H-)" + name +
           "\"}";
}

// tesseron-cli with `args` alone.
Outcome RunBare(const std::vector<std::string>& args) {
    Launch launch;
    launch.argv = {TESSERON_BINARY_DIR "/tesseron-cli"};
    launch.argv.insert(launch.argv.end(), args.begin(), args.end());
    const Captured c = RunCaptured(std::move(launch), std::chrono::seconds(20));
    return {c.exitCode, c.out, c.err};
}

const std::vector<std::string> kHosts = {"rdap.nic.rdaponly", "rdap.registry.test",
                                         "rdap.registrar.test", "rdap.rir.test"};

// One HTTPS server answering for every registry of the bootstrap folder, a port-43 fake for
// the one zone of the server list, and the settings, list and bootstrap that lead there.
struct Registries {
    explicit Registries(Script script) : https(std::move(script), true, kHosts) {
        dir.Write("dns.json", R"({"services": [[["rdaponly"], ["https://rdap.nic.rdaponly/"]],
                                               [["test"], ["https://rdap.registry.test/"]]]})");
        // Every number block at one regional registry.
        for (const auto& [file, block] :
             {std::pair{"ipv4.json", "192.0.2.0/24"}, std::pair{"ipv6.json", "2001:db8::/32"},
              std::pair{"asn.json", "64496-64511"}})
            dir.Write(file, std::string(R"({"services": [[[")") + block +
                                R"("], ["https://rdap.rir.test/"]]]})");
        list = dir.Write("whois.xml", "<w><domains><z><suffix>.whoisonly</suffix><servers><s>"
                                      "<address>127.0.0.1:" +
                                          std::to_string(whois.port()) +
                                          "</address></s></servers></z></domains></w>")
                   .string();
        settings = dir.Write("safe.ini", "[Defaults]\nDetermineIpAddress=0\n"
                                         "DetermineReverseName=0\nDefaultLang=english.lng\n")
                       .string();
        rdapFirst = dir.Write("first.ini", ReadFile(settings) + "RdapMode=2\n").string();
    }

    // A run with the registries' names routed here and the server's certificate trusted;
    // `rdapMode` picks the settings file.
    Outcome Run(const std::vector<std::string>& args, int rdapMode = 1) {
        std::vector<std::string> argv{"--settings", rdapMode == 2 ? rdapFirst : settings};
        for (const auto& host : kHosts)
            argv.insert(argv.end(),
                        {"--connect-to", host + "::127.0.0.1:" + std::to_string(https.port())});
        argv.insert(argv.end(), {"--server-list", list, "--rdap-bootstrap", dir.path().string()});
        argv.insert(argv.end(), {"--ca-file", https.caFile().string()});
        argv.insert(argv.end(), args.begin(), args.end());
        return RunBare(argv);
    }

    TempDir dir;
    FakeWhoisServer whois{WhoisBehaviour::Answer("port 43 says \"hi\"\r\n\x01\n")};
    ScriptedHttpServer https;
    std::string list, settings, rdapFirst;
};

TEST(CliRdap, AnswersFailuresAndExitCodes) {
    ScriptedHttpServer plain({{"/x", {Json(Domain("x"))}}});
    const std::string registry = Fixture("domain-registry.json");
    Registries r({
        {"/domain/ok.rdaponly", {Json(Domain("ok.rdaponly"))}},
        {"/domain/xn--bcher-kva.test", {Json(registry)}},
        {"/domain/XN--BCHER-KVA.TEST", {Json(Fixture("domain-registrar.json"))}},
        {"/ip/192.0.2.0/24", {Json(Fixture("ip-v4.json"))}},
        {"/ip/2001:db8::/32", {Json(Fixture("ip-v6.json"))}},
        {"/autnum/64500", {Json(Fixture("autnum.json"))}},
        {"/domain/busy.rdaponly", {{429, "", "Retry-After: 1\r\n"}, Json(Domain("busy.rdaponly"))}},
        {"/domain/moved.rdaponly", {Moved("/hop1")}},
        {"/hop1", {Moved("https://rdap.registry.test/hop2")}},
        {"/hop2", {Json(Domain("moved.rdaponly"))}},
        {"/domain/loop.rdaponly", {Moved("/loop2")}},
        {"/loop2", {Moved("/domain/loop.rdaponly")}},
        {"/domain/tohttp.rdaponly", {Moved(plain.Url("/x"))}},
        {"/domain/huge.rdaponly", {Json(std::string((64 << 20) + 1, ' '))}},
        {"/domain/broken.rdaponly", {Json("{\"objectClassName\": \"domain\", ")}},
        {"/domain/html.rdaponly", {{200, "<html>busy</html>", "Content-Type: text/html\r\n"}}},
        {"/domain/json.rdaponly",
         {{200, Domain("json.rdaponly"), "Content-Type: application/json\r\n"}}},
        {"/domain/silent.rdaponly", {Reply{.silent = true}}},
    });
    struct Case {
        std::vector<std::string> args; // the address last
        int exitCode;
        std::vector<std::string> out; // in this order on standard output
        std::string err;              // on standard error
    };
    const Case cases[] = {
        // The zone has no port-43 server, so RDAP answers as RdapMode 1 says.
        {{"ok.rdaponly"}, 0, {"H-ok.rdaponly"}, "Asking the RDAP service https://rdap.nic"},
        // The registry's record, then the registrar's it links to.
        {{"--protocol", "rdap", "bücher.test"},
         0,
         {"2336799_DOMAIN_TEST-REG", "TECH-1"},
         "Asking the registrar's RDAP service https://rdap.registrar.test/"},
        {{"192.0.2.7/24"}, 0, {"TEST-NET-1"}, "https://rdap.rir.test/ip/192.0.2.0/24"},
        {{"2001:DB8::/32"}, 0, {"DOCUMENTATION"}, ""},
        {{"AS64500"}, 0, {"DOC-AS-BLOCK"}, "autnum/64500"},
        {{"busy.rdaponly"}, 0, {"H-busy.rdaponly"}, "waiting 1 s"},
        {{"moved.rdaponly"},
         0,
         {"H-moved.rdaponly"},
         "Redirected to https://rdap.registry.test/hop2"},
        {{"gone.rdaponly"}, 1, {}, "E The registry has no record of gone.rdaponly\n"},
        {{"nothing.zz"}, 2, {}, "No RDAP service is known for nothing.zz"},
        {{"--protocol", "whois", "ok.rdaponly"}, 2, {}, ""},
        {{"loop.rdaponly"}, 1, {}, "loop"},
        {{"tohttp.rdaponly"}, 1, {}, "refused"},
        {{"huge.rdaponly"}, 1, {}, "larger than 67108864 bytes"},
        {{"broken.rdaponly"}, 1, {}, "JSON"},
        // A web page in the JSON's place is named by its type; plain JSON is read as RDAP.
        {{"html.rdaponly"}, 1, {}, "sent as text/html"},
        {{"json.rdaponly"}, 0, {"H-json.rdaponly"}, ""},
        {{"--timeout", "300", "silent.rdaponly"}, 1, {}, "within the time-out"},
    };
    for (const auto& c : cases) {
        const std::string& name = c.args.back();
        SCOPED_TRACE(name);
        const std::string results = (r.dir / "results.xml").string();
        std::filesystem::remove(results);
        std::vector<std::string> args{"--store", "--results", results};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto o = r.Run(args);
        EXPECT_EQ(o.exitCode, c.exitCode) << o.err;
        EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
        std::size_t at = 0;
        for (const auto& piece : c.out) {
            at = o.out.find(piece, at);
            EXPECT_NE(at, std::string::npos) << piece << " in\n" << o.out;
        }
        if (c.out.empty()) {
            EXPECT_EQ(o.out, "");
        }
        // Only an answer is stored; a failure or a "no record" leaves nothing behind.
        const std::string stored = std::filesystem::exists(results) ? ReadFile(results) : "";
        EXPECT_EQ(stored.find("<Protocol>rdap</Protocol>") != std::string::npos, c.exitCode == 0)
            << stored;
    }
    EXPECT_TRUE(plain.Requests().empty()) << "nothing goes from https to plain http";
}

// --json prints the JSON as laid out; a port-43 answer comes wrapped in a JSON object. A
// stored answer keeps its protocol, JSON and the registrar's host through a second run.
TEST(CliRdap, JsonOutputAndStoredAnswersReadBack) {
    const std::string ipv6 = Fixture("ip-v6.json");
    Registries r({{"/ip/2001:db8::/32", {Json(ipv6)}},
                  {"/domain/xn--bcher-kva.test", {Json(Fixture("domain-registry.json"))}},
                  {"/domain/XN--BCHER-KVA.TEST", {Json(Fixture("domain-registrar.json"))}}});
    const auto json = r.Run({"--json", "2001:db8::/32"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out, tesseron::PrettyRdapJson(ipv6) + "\n");
    const auto whois = r.Run({"--json", "a.whoisonly"});
    EXPECT_EQ(whois.exitCode, 0) << whois.err;
    EXPECT_EQ(whois.out, "{\n  \"protocol\": \"whois\",\n  \"server\": \"127.0.0.1\",\n"
                         "  \"query\": \"a.whoisonly\",\n"
                         "  \"answer\": \"port 43 says \\\"hi\\\"\\r\\n\\u0001\\n\"\n}\n");
    const auto both = r.Run({"--json", "--protocol", "rdap", "bücher.test"});
    EXPECT_TRUE(both.out.starts_with("[\n  {")) << both.out;

    const std::string results = (r.dir / "kept.xml").string();
    ASSERT_EQ(
        r.Run({"--store", "--results", results, "--protocol", "rdap", "bücher.test"}).exitCode, 0);
    const std::string first = ReadFile(results);
    ASSERT_EQ(r.Run({"--store", "--results", results, "a.whoisonly"}).exitCode, 0);
    const std::string second = ReadFile(results);
    for (const char* kept : {"<Protocol>rdap</Protocol>", "<ServerName>rdap.registrar.test<",
                             "<RdapJson>[", "2336799_DOMAIN_TEST-REG"}) {
        EXPECT_NE(first.find(kept), std::string::npos) << kept << " in\n" << first;
        EXPECT_NE(second.find(kept), std::string::npos) << kept << " after a second run";
    }
    EXPECT_EQ(second.find("<Protocol>", second.find("a.whoisonly")), std::string::npos)
        << "a port-43 entry is written as it always was";
}

TEST(CliRdap, ThroughMicrosocksAndListedByServers) {
    Registries r({{"/autnum/64500", {Json(Fixture("autnum.json"))}}});
    MicrosocksDaemon socks;
    const auto o =
        r.Run({"--proxy", "socks5://127.0.0.1:" + std::to_string(socks.port()), "AS64500"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("DOC-AS-BLOCK"), std::string::npos) << o.out;
    // RDAP alone, or an RDAP answer first, never reads the server list.
    const std::string missing = (r.dir / "missing.xml").string();
    for (const char* protocol : {"rdap", "auto"}) {
        const auto alone = r.Run({"--server-list", missing, "--protocol", protocol, "AS64500"},
                                 std::string(protocol) == "auto" ? 2 : 1);
        EXPECT_EQ(alone.exitCode, 0) << alone.err;
        EXPECT_EQ(alone.err.find("server list"), std::string::npos) << alone.err;
    }

    const std::string bootstrap = r.dir.path().string();
    const std::pair<std::vector<std::string>, std::string> listings[] = {
        {{"ok.rdaponly"}, "https://rdap.nic.rdaponly/\t\n"},
        {{"a.whoisonly"}, "127.0.0.1:" + std::to_string(r.whois.port()) + "\t\n"},
        {{"--protocol", "rdap", "AS64500"}, "https://rdap.rir.test/\t\n"},
    };
    for (const auto& [args, out] : listings) {
        std::vector<std::string> argv{"--servers", "--settings",       r.settings, "--server-list",
                                      r.list,      "--rdap-bootstrap", bootstrap};
        argv.insert(argv.end(), args.begin(), args.end());
        const Outcome c = RunBare(argv);
        EXPECT_EQ(c.exitCode, 0) << args.back() << ": " << c.err;
        EXPECT_EQ(c.out, out) << args.back();
    }
}

TEST(CliRdap, BadValuesAreUsageErrors) {
    TempDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"--protocol", "gopher", "x.test"},
        {"--protocol"},
        {"--servers", "--json", "x.test"},
        {"--servers", "--ca-file", "c.pem", "x.test"},
        {"--ca-file", (dir / "missing.pem").string(), "x.test"},
        {"--rdap-bootstrap", (dir / "missing").string(), "x.test"},
        {"--servers", "--rdap-bootstrap", (dir / "missing").string(), "x.test"},
    };
    for (const auto& args : cases) {
        const Outcome c = RunBare(args);
        EXPECT_EQ(c.exitCode, 64) << args.front() << " " << args.back();
        EXPECT_TRUE(c.err.starts_with("tesseron-cli: ")) << c.err;
        EXPECT_EQ(c.out, "");
    }
}

} // namespace
