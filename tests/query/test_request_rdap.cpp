// Whole runs that may ask RDAP: which protocol each choice asks in which case, what is
// stored, and the registrar step. Port 43 is a fake server on loopback, RDAP a scripted
// HTTP server on loopback that the bootstrap and the connect-to map point at.

#include "locale/Language.h"
#include "query/uWhoisRequestThread.h"
#include "serverdb/RegistryBlocks.h"
#include "serverdb/uDomainList.h"
#include "support/FakeServer.h"
#include "support/RecordingRun.h"
#include "support/ScriptedHttpServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tesseron::test {
namespace {

using P = ProtocolChoice;

const MessageTable& Messages() {
    static const MessageTable m = [] {
        MessageTable t;
        t.sStartWhois = "start %s";
        t.sQueryServer = "ask %s";
        t.sWhoisNotFind = "no server for %s";
        t.sStopWhoisSucces = "done %s";
        t.sStopWhoisFail = "failed %s";
        t.sRdapService = "rdap %s";
        t.sRdapNoService = "no rdap for %s";
        t.sRdapAsking = "get %s";
        t.sRdapRedirected = "moved %s";
        t.sRdapRegistrar = "registrar %s";
        t.sRdapRegistrarFailed = "registrar failed: %s";
        t.sRdapNotFound = "no record of %s";
        t.sRdapFailed = "rdap failed: %s";
        return t;
    }();
    return m;
}

std::string Domain(const std::string& name, const std::string& extra = "") {
    return R"({"objectClassName":"domain","ldhName":")" + name + "\"" + extra + "}";
}

const Reply kRdapAnswer{200, Domain("example.test"), "Content-Type: application/rdap+json\r\n"};

// The world of one run: a zone "test" whose port-43 server may answer, fail or be absent,
// and an RDAP service for it (and for the numbers) that may answer, fail or be absent.
struct World {
    // `whoisPort` 0: the zone's server is the fake; -1: the zone has none; another port: a
    // closed one.
    explicit World(std::map<std::string, std::vector<Reply>> script, int whoisPort = 0,
                   bool service = true)
        : rdap(std::move(script)) {
        std::string xml = R"(<?xml version="1.0"?><whois><domains>)";
        if (whoisPort >= 0)
            xml +=
                "<domain><suffix>test</suffix><servers><server><name>n</name><address>127.0.0.1:" +
                std::to_string(whoisPort ? whoisPort : whois.port()) +
                "</address></server></servers></domain>";
        domains.LoadFromFile(dir.Write("whois.xml", xml + "</domains></whois>").string());
        const std::string base = "http://rdap.registry.test/";
        if (service) {
            EXPECT_EQ(blocks.LoadDomains(R"({"services":[[["test"],[")" + base + "\"]]]}"), "");
            EXPECT_EQ(blocks.Load(RegistryBlocks::Table::IPv6,
                                  R"({"services":[[["2001:db8::/32"],[")" + base + "\"]]]}"),
                      "");
            EXPECT_EQ(blocks.Load(RegistryBlocks::Table::Asn,
                                  R"({"services":[[["64496-64511"],[")" + base + "\"]]]}"),
                      "");
        }
        const int port = std::stoi(rdap.Url("/").substr(rdap.Url("/").rfind(':') + 1));
        for (const char* host : {"rdap.registry.test", "rdap.registrar.test"})
            settings.connectTo.push_back({host, 0, "127.0.0.1", port});
        settings.DetermineIpAddress = false;
        settings.DetermineReverseName = false;
        settings.whoisTimeout = 2000;
    }
    int32_t Run(RunRequest request) {
        TWhoisRequestThread run(std::move(request), settings, &domains, &blocks, Messages(), ui,
                                ui);
        run.Wait();
        return run.ErrorCode();
    }
    int32_t Ask(const std::string& query) { return Run(RunRequest{{query}, {}, true}); }

    TempDir dir;
    FakeWhoisServer whois{WhoisBehaviour::Answer("port 43 answer\r\n")};
    ScriptedHttpServer rdap;
    TDomainCollection domains;
    RegistryBlocks blocks;
    RecordingUi ui;
    RunSettings settings;
};

TEST(RequestRdap, EachChoiceAsksItsProtocolsInOrder) {
    enum class Whois { Answers, Fails, Unlisted };
    enum class Rdap { Answers, NotFound, Fails, NoService };
    struct Case {
        const char* name;
        P choice;
        Whois whois;
        Rdap rdap;
        int32_t code;
        const char* stored; // the stored entry's protocol; nullptr: nothing stored
        std::size_t whoisAsked, rdapAsked;
    };
    const Case cases[] = {
        {"port 43 only answers", P::Whois, Whois::Answers, Rdap::Answers, QueryOk, "", 1, 0},
        {"port 43 only fails", P::Whois, Whois::Fails, Rdap::Answers, QueryExchangeFailed, nullptr,
         1, 0},
        {"port 43 only, no server", P::Whois, Whois::Unlisted, Rdap::Answers, QueryNoServer,
         nullptr, 0, 0},
        {"then RDAP: port 43 answers", P::WhoisThenRdap, Whois::Answers, Rdap::Answers, QueryOk, "",
         1, 0},
        {"then RDAP: port 43 fails", P::WhoisThenRdap, Whois::Fails, Rdap::Answers, QueryOk, "rdap",
         1, 1},
        {"then RDAP: no port-43 server", P::WhoisThenRdap, Whois::Unlisted, Rdap::Answers, QueryOk,
         "rdap", 0, 1},
        {"then RDAP: neither", P::WhoisThenRdap, Whois::Unlisted, Rdap::NoService, QueryNoServer,
         nullptr, 0, 0},
        {"then RDAP: fails, no service", P::WhoisThenRdap, Whois::Fails, Rdap::NoService,
         QueryExchangeFailed, nullptr, 1, 0},
        {"RDAP first answers", P::RdapThenWhois, Whois::Answers, Rdap::Answers, QueryOk, "rdap", 0,
         1},
        {"RDAP first fails", P::RdapThenWhois, Whois::Answers, Rdap::Fails, QueryOk, "", 1, 1},
        {"RDAP first: no record ends it", P::RdapThenWhois, Whois::Answers, Rdap::NotFound,
         QueryExchangeFailed, nullptr, 0, 1},
        {"RDAP first: no service", P::RdapThenWhois, Whois::Answers, Rdap::NoService, QueryOk, "",
         1, 0},
        {"RDAP only fails", P::Rdap, Whois::Answers, Rdap::Fails, QueryExchangeFailed, nullptr, 0,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::vector<Reply>> script;
        if (c.rdap == Rdap::Answers) script["/domain/example.test"] = {kRdapAnswer};
        if (c.rdap == Rdap::Fails) script["/domain/example.test"] = {{500, "broken"}};
        const int whoisPort = c.whois == Whois::Answers ? 0 : c.whois == Whois::Fails ? 1 : -1;
        World w(std::move(script), whoisPort, c.rdap != Rdap::NoService);
        w.settings.protocols = c.choice;

        EXPECT_EQ(w.Ask("example.test"), c.code) << w.ui.Text();
        // The closed port of a failing server counts too.
        const auto whoisAsked = std::count_if(w.ui.log.begin(), w.ui.log.end(), [](const auto& l) {
            return l.rfind("i ask ", 0) == 0;
        });
        EXPECT_EQ(static_cast<std::size_t>(whoisAsked), c.whoisAsked);
        EXPECT_EQ(w.rdap.Requests().size(), c.rdapAsked);
        EXPECT_EQ(w.ui.results.Count(), c.stored ? 1 : 0) << w.ui.Text();
        if (c.stored && w.ui.results.Count() == 1) {
            const TWhoisResultItem& r = w.ui.results[0];
            EXPECT_EQ(r.Protocol, c.stored);
            EXPECT_EQ(r.RdapJson.empty(), r.Protocol.empty());
            EXPECT_NE(r.RawAnswer.find(r.Protocol.empty() ? "port 43 answer" : "example.test"),
                      std::string::npos);
        }
        if (c.rdap == Rdap::NotFound) {
            EXPECT_NE(w.ui.Text().find("E no record of example.test"), std::string::npos);
        }
        if (c.rdap == Rdap::Fails) {
            EXPECT_NE(w.ui.Text().find("E rdap failed: rdap.registry.test answered HTTP 500"),
                      std::string::npos)
                << w.ui.Text();
        }
    }
}

TEST(RequestRdap, NumbersAskTheirPathsAndTheLogTellsEachStep) {
    struct Case {
        const char* query;
        const char* path;
    };
    const Case cases[] = {
        {"2001:db8::/32", "/ip/2001:db8::/32"},
        {"2001:DB8::1", "/ip/2001:db8::1"},
        {"AS64500", "/autnum/64500"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        World w({{c.path, {{301, "", "Location: http://rdap.registry.test/moved\r\n"}}},
                 {"/moved", {{200, R"({"objectClassName":"ip network","handle":"NET-1"})"}}}});
        w.settings.protocols = P::Rdap;
        ASSERT_EQ(w.Ask(c.query), QueryOk) << w.ui.Text();
        const std::string url = std::string("http://rdap.registry.test") + c.path;
        EXPECT_EQ(w.ui.Text(), "i start " + std::string(c.query) +
                                   "\ni rdap http://rdap.registry.test/\ni get " + url +
                                   "\ni moved http://rdap.registry.test/moved\ni get "
                                   "http://rdap.registry.test/moved\ni done " +
                                   c.query + "\n");
        EXPECT_EQ(w.ui.results[0].ServerName, "rdap.registry.test");
        EXPECT_EQ(w.ui.results[0].QueryType, QueryAsAddress);
    }
}

TEST(RequestRdap, RegistrarRecordIsKeptAfterTheRegistrysOrItsFailureIsSaid) {
    const std::string link = R"(,"links":[{"rel":"related","type":"application/rdap+json",)"
                             R"("href":"http://rdap.registrar.test/domain/example.test"}])";
    const Reply registry{200, Domain("EXAMPLE.TEST", link)};
    struct Case {
        const char* name;
        Reply registrar;
        const char* server;
        bool both;
    };
    const Case cases[] = {
        {"followed",
         {200, Domain("example.test", R"(,"handle":"REGISTRAR-SIDE-1")")},
         "rdap.registrar.test",
         true},
        {"registrar fails", {503, "down"}, "rdap.registry.test", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Both names reach the same loopback server: the registrar's path tells them apart.
        World w({{"/domain/example.test", {registry, c.registrar}}});
        w.settings.protocols = P::Rdap;
        ASSERT_EQ(w.Ask("example.test"), QueryOk) << w.ui.Text();
        const TWhoisResultItem& r = w.ui.results[0];
        EXPECT_EQ(r.ServerName, c.server);
        EXPECT_NE(w.ui.Text().find("i registrar http://rdap.registrar.test/domain/example.test"),
                  std::string::npos);
        if (c.both) {
            const auto registryAt = r.RawAnswer.find("EXAMPLE.TEST");
            const auto registrarAt = r.RawAnswer.find("REGISTRAR-SIDE-1");
            EXPECT_LT(registryAt, registrarAt) << r.RawAnswer;
            EXPECT_NE(registrarAt, std::string::npos) << r.RawAnswer;
            EXPECT_EQ(r.RdapJson.front(), '[');
        } else {
            EXPECT_EQ(r.RdapJson, registry.body);
            EXPECT_NE(w.ui.Text().find("E registrar failed: rdap.registrar.test answered HTTP 503"),
                      std::string::npos)
                << w.ui.Text();
        }
    }
}

TEST(RequestRdap, RefreshAsksTheProtocolOfTheStoredAnswer) {
    World w({{"/domain/example.test", {kRdapAnswer}}});
    w.settings.protocols = P::Rdap;
    ASSERT_EQ(w.Ask("example.test"), QueryOk);
    w.settings.protocols = P::Whois;
    ASSERT_EQ(w.Ask("port43.test"), QueryOk);
    ASSERT_EQ(w.ui.results.Count(), 2);

    // Whatever the settings now say, each entry asks what gave it.
    w.settings.protocols = P::RdapThenWhois;
    ASSERT_EQ(w.Run(RunRequest{{}, {w.ui.results[0].Id(), w.ui.results[1].Id()}, true}), QueryOk);
    EXPECT_EQ(w.rdap.Requests().size(), 2u);
    EXPECT_EQ(w.whois.Queries().size(), 2u);
    EXPECT_EQ(w.ui.results[0].Protocol, "rdap");
    EXPECT_EQ(w.ui.results[1].Protocol, "");
}

} // namespace
} // namespace tesseron::test
