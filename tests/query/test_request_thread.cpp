// Whole query runs against fake WHOIS servers on loopback. Only "localhost", 127.0.0.1 and
// names with labels longer than 63 characters are ever resolved, so no look-up leaves the
// machine.

#include "locale/Language.h"
#include "query/uWhoisRequestThread.h"
#include "serverdb/uDomainList.h"
#include "support/FakeServer.h"
#include "support/RecordingRun.h"
#include "support/TempDir.h"

#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tesseron::test {
namespace {

using W = WhoisBehaviour;
using Lines = std::vector<std::string>;

const MessageTable& Messages() {
    static const MessageTable m = [] {
        MessageTable t;
        t.sStartWhois = "start %s";
        t.sDetermineIP = "resolve %s";
        t.sIPDetermined = "ip %s";
        t.sIPNoDetermined = "no ip";
        t.sDetermineReverseName = "reverse %s";
        t.sReverseNameDetermined = "name %s";
        t.sReverseNameNotDetermined = "no name";
        t.sQueryServer = "ask %s";
        t.sEmptyWhois = "empty server %s";
        t.sWhoisNotFind = "no server for %s";
        t.sQueryEmpty = "empty query";
        t.sStopWhoisSucces = "done %s";
        t.sStopWhoisFail = "failed %s";
        t.sExchangeTimedOut = "over time %s";
        t.sQueryControlChar = "control %s";
        t.sSchemeNotSpoken = "scheme %s";
        t.sIdnSentAs = "sent as %s";
        t.sIdnInvalid = "invalid %s";
        return t;
    }();
    return m;
}

std::string At(const FakeWhoisServer& s) {
    return "127.0.0.1:" + std::to_string(s.port());
}

// Replaces each token ("{R}", ...) by its value.
std::string Subst(std::string text, const std::map<std::string, std::string>& values) {
    for (const auto& [token, value] : values)
        for (auto at = text.find(token); at != std::string::npos; at = text.find(token, at))
            text.replace(at, token.size(), value);
    return text;
}

using Zones = std::vector<std::pair<std::string, std::vector<std::string>>>;

// One run's world: a server list written to disk and loaded, a recording UI, fast settings.
struct Bench {
    Bench() {
        settings.DetermineIpAddress = false; // look-ups only where a row asks for them
        settings.DetermineReverseName = false;
        settings.whoisTimeout = 400;
    }
    void Load(const Zones& zones, const std::string& prefix = "") {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><whois><domains>";
        for (const auto& [suffix, addresses] : zones) {
            xml += "<domain><suffix>" + suffix + "</suffix><servers>";
            for (const auto& a : addresses)
                xml += "<server><name>n</name><address>" + a + "</address><whois_prefix>" + prefix +
                       "</whois_prefix></server>";
            xml += "</servers></domain>";
        }
        domains.LoadFromFile(dir.Write("whois.xml", xml + "</domains></whois>").string());
    }
    int32_t Run(RunRequest request) {
        TWhoisRequestThread run(std::move(request), settings, &domains, blocks, Messages(), ui, ui);
        run.Wait();
        return run.ErrorCode();
    }

    TempDir dir;
    TDomainCollection domains;
    RecordingUi ui;
    RunSettings settings;
    const RegistryBlocks* blocks = nullptr;
};

enum class Kept { First, Referral, Empty, Nothing };

struct ReferralCase {
    const char* name;
    const char* query;
    const char* firstAnswer;  // {R}: the referral server's port
    const char* referralLine; // the value logged for the referral; nullptr: no line matched
    Kept kept;
    const char* serverName;
    W referral = W::Answer("second\r\nWhois Server: 127.0.0.1:1\r\n"); // never followed
    bool bAsDomain = true;
    std::vector<std::string> listed = {"localhost:{1}"};
    bool useRating = true;
};

// The same with bAsDomain off: a referral is followed only to a host of the zone's list.
ReferralCase Strict(ReferralCase c, std::vector<std::string> listed, bool useRating = true) {
    c.bAsDomain = false;
    c.listed = std::move(listed);
    c.useRating = useRating;
    return c;
}

TEST(RequestRun, FollowsReferralsAsTheSettingsAllow) {
    const std::vector<ReferralCase> cases = {
        {"plain key", "example.test", "Domain: x\r\nWhois Server: 127.0.0.1:{R}\r\n",
         "127.0.0.1:{R}", Kept::Referral, "127.0.0.1"},
        {"longer label in capitals", "example.test", "REGISTRAR WHOIS SERVER: 127.0.0.1:{R}\n",
         "127.0.0.1:{R}", Kept::Referral, "127.0.0.1"},
        {"blanks, scheme and path", "example.test", "  Whois Server:   whois://127.0.0.1:{R}/x\n",
         "  whois://127.0.0.1:{R}/x", Kept::Referral, "127.0.0.1"},
        {"value lowered, CR ends the line", "example.test", "Whois Server: LOCALHOST:{R}\rmore",
         "localhost:{R}", Kept::Referral, "localhost"},
        {"only the first matching line", "example.test",
         "whois server: 127.0.0.1:{R}\nWhois Server: 127.0.0.1:1\n", "127.0.0.1:{R}",
         Kept::Referral, "127.0.0.1"},
        {"empty value is not followed", "example.test", "Whois Server:\n", "", Kept::First,
         "localhost"},
        {"trailing blanks dropped", "example.test", "Whois Server: 127.0.0.1:{R} \t \r\n",
         "127.0.0.1:{R}", Kept::Referral, "127.0.0.1"},
        {"empty referral answer", "example.test", "Whois Server: 127.0.0.1:{R}\n", "127.0.0.1:{R}",
         Kept::Empty, "127.0.0.1", W::Close()},
        {"failed referral loses the first answer", "example.test", "Whois Server: 127.0.0.1:{R}\n",
         "127.0.0.1:{R}", Kept::Nothing, "", W::PartThenReset("x")},
        {"address query follows ReferralServer", "127.0.0.1",
         "ReferralServer: whois://127.0.0.1:{R}\n", "whois://127.0.0.1:{R}", Kept::Referral,
         "127.0.0.1"},
        {"address query ignores Whois Server", "127.0.0.1", "Whois Server: 127.0.0.1:{R}\n",
         nullptr, Kept::First, "localhost"},
        {"name query ignores ReferralServer", "example.test", "ReferralServer: 127.0.0.1:{R}\n",
         nullptr, Kept::First, "localhost"},
        Strict({"listed host is followed", "example.test", "Whois Server: 127.0.0.1:{R}\n",
                "127.0.0.1:{R}", Kept::Referral, "127.0.0.1"},
               {"localhost:{1}", "127.0.0.1"}),
        Strict({"unlisted host is not", "example.test", "Whois Server: 127.0.0.1:{R}\n",
                "127.0.0.1:{R}", Kept::First, "localhost"},
               {"localhost:{1}"}),
        Strict({"capitals in the list never match", "example.test", "Whois Server: LOCALHOST:{R}\n",
                "localhost:{R}", Kept::First, "localhost"},
               {"localhost:{1}", "LOCALHOST"}),
        Strict({"two blanks keep a leading blank", "example.test", "Whois Server:  127.0.0.1:{R}\n",
                " 127.0.0.1:{R}", Kept::First, "localhost"},
               {"localhost:{1}", "127.0.0.1"}),
        Strict({"server named by the user", "example.test", "Whois Server: 127.0.0.1:{R}\n",
                "127.0.0.1:{R}", Kept::First, "localhost"},
               {"localhost:{1}"}, false),
    };
    for (const ReferralCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWhoisServer referral(c.referral);
        const std::map<std::string, std::string> ports = {{"{R}", std::to_string(referral.port())}};
        const std::string firstAnswer = Subst(c.firstAnswer, ports);
        FakeWhoisServer first(W::Answer(firstAnswer));
        const std::string firstAt = "localhost:" + std::to_string(first.port());
        Bench b;
        std::vector<std::string> listed;
        for (const auto& a : c.listed)
            listed.push_back(Subst(a, {{"{1}", std::to_string(first.port())}}));
        b.Load({{".test", listed}, {"ip", listed}}, "-P ");
        b.settings.bAsDomain = c.bAsDomain;
        b.settings.bUseRating = c.useRating;
        b.settings.serverBoxText = firstAt;

        b.Run({{c.query}, {}, true});

        const std::string q = c.query;
        Lines want = {"i start " + q, "i ask " + firstAt};
        if (c.referralLine) want.push_back("i ask " + Subst(c.referralLine, ports));
        want.push_back(c.kept == Kept::Nothing ? "E failed " + q : "i done " + q);
        EXPECT_EQ(b.ui.log, want);
        // The prefix goes to the listed server only, never to the referral.
        EXPECT_EQ(first.Queries(), Lines{(c.useRating ? "-P " : "") + q});
        const bool followed = c.kept != Kept::First && c.referralLine && *c.referralLine;
        EXPECT_EQ(referral.Queries(), followed ? Lines{q} : Lines{});
        if (c.kept == Kept::Nothing) {
            EXPECT_EQ(b.ui.results.Count(), 0);
            continue;
        }
        ASSERT_EQ(b.ui.results.Count(), 1);
        const std::map<Kept, std::string> answers = {
            {Kept::First, firstAnswer},
            {Kept::Referral, "second\r\nWhois Server: 127.0.0.1:1\r\n"},
            {Kept::Empty, ""}};
        EXPECT_EQ(b.ui.results[0].RawAnswer, answers.at(c.kept));
        EXPECT_EQ(b.ui.results[0].ServerName, c.serverName);
    }
}

TEST(RequestRun, TriesTheListedServersInOrder) {
    struct Case {
        const char* name;
        // {R} refuses, {S} stays silent, {A} answers, {F} refers to https://{A}
        std::vector<std::string> servers;
        int32_t code;
        Lines log;
    };
    const std::vector<Case> cases = {
        {"refused, silent, answering",
         {"{R}", "{S}", "{A}"},
         0,
         {"i ask {R}", "i ask {S}", "i ask {A}", "i done x.test"}},
        {"empty address, answering",
         {"", "{A}"},
         0,
         {"E empty server ", "i ask {A}", "i done x.test"}},
        {"refused, empty address",
         {"{R}", ""},
         -2,
         {"i ask {R}", "E empty server ", "E failed x.test"}},
        {"empty address, refused",
         {"", "{R}"},
         -1,
         {"E empty server ", "i ask {R}", "E failed x.test"}},
        // A scheme no transport speaks is never asked as host:43: it fails and says why.
        {"https, answering",
         {"https://{A}/", "{A}"},
         0,
         {"i ask https://{A}/", "E scheme https://{A}/", "i ask {A}", "i done x.test"}},
        {"scheme in capitals",
         {"HTTP://{A}"},
         -1,
         {"i ask HTTP://{A}", "E scheme HTTP://{A}", "E failed x.test"}},
        {"whois and rwhois are spoken",
         {"whois://{A}", "rwhois://{A}"},
         0,
         {"i ask whois://{A}", "i done x.test"}},
        {"referral to https",
         {"{F}"},
         -1,
         {"i ask {F}", "i ask https://{A}", "E scheme https://{A}", "E failed x.test"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefusingPort refusing;
        FakeWhoisServer silent(W::Silent());
        FakeWhoisServer answering(W::Answer("found"));
        FakeWhoisServer referring(W::Answer("Whois Server: https://" + At(answering) + "\r\n"));
        const std::map<std::string, std::string> at = {
            {"{R}", "127.0.0.1:" + std::to_string(refusing.port())},
            {"{S}", At(silent)},
            {"{A}", At(answering)},
            {"{F}", At(referring)}};
        Bench b;
        std::vector<std::string> servers;
        for (const auto& s : c.servers)
            servers.push_back(Subst(s, at));
        b.Load({{".test", servers}});

        EXPECT_EQ(b.Run({{"x.test"}, {}, true}), c.code);

        Lines want = {"i start x.test"};
        for (const auto& line : c.log)
            want.push_back(Subst(line, at));
        EXPECT_EQ(b.ui.log, want);
        EXPECT_EQ(b.ui.results.Count(), c.code == 0 ? 1 : 0);
        if (c.code == 0) {
            EXPECT_EQ(b.ui.results[0].RawAnswer, "found");
        }
    }
}

TEST(RequestRun, OneAddressFromStartToStore) {
    const std::string longLabel = std::string(64, 'a') + ".test";
    const std::string overLong = std::string(300, 'b') + ".test";
    struct Case {
        const char* name;
        std::string query;
        bool asDomain;
        bool determineIp;
        int32_t code;
        Lines log; // {T}: the ".test" server, {I}: the "ip" one, {Q}: ".quiet"
        std::optional<std::string> stored = std::nullopt; // the stored query string
        std::string answer = "";                          // "to " and the query line
        TQueryType type = QueryAsDomain;
        std::string ipAddress = "";
    };
    const std::vector<Case> cases = {
        {"no zone",
         "x.nozone",
         true,
         false,
         -2,
         {"i start x.nozone", "E no server for x.nozone", "E failed x.nozone"}},
        {"zone without servers",
         "x.bare",
         true,
         false,
         -2,
         {"i start x.bare", "E no server for x.bare", "E failed x.bare"}},
        {"empty query", "", true, false, -3, {"E empty query"}},
        // The "ip" zone serves IP addresses, not names that end in those letters.
        {"name ending in ip",
         "friendship",
         true,
         false,
         -2,
         {"i start friendship", "E no server for friendship", "E failed friendship"}},
        {"empty answer still succeeds",
         "x.quiet",
         true,
         false,
         0,
         {"i start x.quiet", "i ask {Q}", "i done x.quiet"},
         "x.quiet",
         "",
         QueryAsDomain,
         ""},
        {"name queried as address",
         "localhost",
         false,
         false,
         0,
         {"i start localhost", "i resolve localhost", "i ip 127.0.0.1", "i ask {I}",
          "i done 127.0.0.1"},
         "127.0.0.1",
         "to 127.0.0.1",
         QueryAsAddress,
         "127.0.0.1"},
        {"address typed as domain",
         "127.0.0.1",
         true,
         false,
         0,
         {"i start 127.0.0.1", "i ask {I}", "i done 127.0.0.1"},
         "127.0.0.1",
         "to 127.0.0.1",
         QueryAsAddress,
         "127.0.0.1"},
        {"unresolvable as address",
         longLabel,
         false,
         false,
         -3,
         {"i start " + longLabel, "i resolve " + longLabel, "E no ip", "E empty query"}},
        {"unresolvable as domain goes on",
         longLabel,
         true,
         true,
         0,
         {"i start " + longLabel, "i resolve " + longLabel, "E no ip", "i ask {T}",
          "i done " + longLabel},
         longLabel,
         "to " + longLabel,
         QueryAsDomain,
         ""},
        {"256 characters or more",
         overLong,
         false,
         false,
         -3,
         {"i start " + overLong, "i resolve " + overLong, "E no ip", "E empty query"}},
    };
    const W echo = W::Respond([](const std::string& q) { return "to " + q; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWhoisServer test(echo), ip(echo), quiet(W::Close());
        const std::map<std::string, std::string> at = {
            {"{T}", At(test)}, {"{I}", At(ip)}, {"{Q}", At(quiet)}};
        Bench b;
        b.Load({{".test", {At(test)}}, {"ip", {At(ip)}}, {".bare", {}}, {".quiet", {At(quiet)}}});
        b.settings.DetermineIpAddress = c.determineIp;

        EXPECT_EQ(b.Run({{c.query}, {}, c.asDomain}), c.code);

        Lines want;
        for (const auto& line : c.log)
            want.push_back(Subst(line, at));
        EXPECT_EQ(b.ui.log, want);
        ASSERT_EQ(b.ui.results.Count(), c.stored ? 1 : 0);
        if (!c.stored) continue;
        const TWhoisResultItem& item = b.ui.results[0];
        EXPECT_EQ(item.QueryString, *c.stored);
        EXPECT_EQ(item.RawAnswer, c.answer);
        EXPECT_EQ(item.QueryType, c.type);
        EXPECT_EQ(item.IpAddress, c.ipAddress);
        EXPECT_EQ(item.ServerName, "127.0.0.1");
    }
}

// What each kind of text sends where: an IDN as A-labels while the user keeps the typed
// form, IPv6 literals, networks and AS numbers to the number zones in their canonical form,
// an address's last referral followed.
TEST(RequestRun, EachKindReachesItsZoneWithItsQueryLine) {
    enum Zone { Names, Ip, Asn };
    struct Case {
        std::string typed;
        std::string prefix;
        Zone zone;
        int32_t code;
        Lines log;      // {Z}: the zone's server, {R}: the last referral's
        Lines asked;    // what the zone's server got
        Lines referred; // what the last referral's server got
        std::string ipAddress = "";
        TQueryType type = QueryAsAddress;
    };
    const std::string idn = "пример.рф", aLabels = "xn--e1afmkfd.xn--p1ai";
    const std::vector<Case> cases = {
        {idn,
         "",
         Names,
         0,
         {"i start " + idn, "i sent as " + aLabels, "i ask {Z}", "i done " + idn},
         {aLabels},
         {},
         "",
         QueryAsDomain},
        {aLabels,
         "-T ",
         Names,
         0,
         {"i start " + aLabels, "i ask {Z}", "i done " + aLabels},
         {"-T " + aLabels},
         {},
         "",
         QueryAsDomain},
        {"-b" + idn,
         "",
         Names,
         -3,
         {"E invalid -b" + idn + " (string start/ends with forbidden hyphen)"},
         {},
         {}},
        {"2001:DB8::1",
         "",
         Ip,
         0,
         {"i start 2001:DB8::1", "i ask {Z}", "i ask whois://{R}", "i done 2001:DB8::1"},
         {"2001:db8::1"},
         {"2001:db8::1"},
         "2001:db8::1"},
        {"[2001:db8::1]",
         "",
         Ip,
         0,
         {"i start [2001:db8::1]", "i ask {Z}", "i ask whois://{R}", "i done [2001:db8::1]"},
         {"2001:db8::1"},
         {"2001:db8::1"},
         "2001:db8::1"},
        {"192.0.2.77/24",
         "-B ",
         Ip,
         0,
         {"i start 192.0.2.77/24", "i ask {Z}", "i ask whois://{R}", "i done 192.0.2.77/24"},
         {"-B 192.0.2.0/24"},
         {"192.0.2.0/24"}},
        {"as 15169",
         "-B ",
         Asn,
         0,
         {"i start as 15169", "i ask {Z}", "i done as 15169"},
         {"-B AS15169"},
         {}},
    };
    const W echo = W::Respond([](const std::string& q) { return "to " + q; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        FakeWhoisServer names(echo), wrong(echo), right(echo), asn(echo);
        // An address's answer names one referral per block, the least specific first.
        FakeWhoisServer ip(W::Answer("ReferralServer: whois://" + At(wrong) +
                                     "\r\nNetRange: x\r\nreferralserver: whois://" + At(right) +
                                     "\r\n"));
        const FakeWhoisServer* zones[] = {&names, &ip, &asn};
        const FakeWhoisServer& zone = *zones[c.zone];
        Bench b;
        b.Load({{".xn--p1ai", {At(names)}}, {"ip", {At(ip)}}, {"asn", {At(asn)}}}, c.prefix);
        b.ui.store.UpdateIfExists = true;

        // Twice: a repeated query finds its stored entry by the text as typed.
        for (int run = 0; run < 2; ++run)
            EXPECT_EQ(b.Run({{c.typed}, {}, true}), c.code);

        Lines log, asked, referred;
        for (int run = 0; run < 2; ++run) {
            for (const auto& line : c.log)
                log.push_back(Subst(line, {{"{Z}", At(zone)}, {"{R}", At(right)}}));
            asked.insert(asked.end(), c.asked.begin(), c.asked.end());
            referred.insert(referred.end(), c.referred.begin(), c.referred.end());
        }
        EXPECT_EQ(b.ui.log, log);
        EXPECT_EQ(zone.Queries(), asked);
        EXPECT_EQ(right.Queries(), referred);
        EXPECT_EQ(wrong.Connections() + names.Connections() + ip.Connections() + asn.Connections() +
                      right.Connections(),
                  int(asked.size() + referred.size()));
        ASSERT_EQ(b.ui.results.Count(), c.code == 0 ? 1 : 0);
        if (c.code != 0) continue;
        const TWhoisResultItem& item = b.ui.results[0];
        EXPECT_EQ(item.QueryString, c.typed);
        EXPECT_EQ(item.RawAnswer, "to " + (c.referred.empty() ? c.asked : c.referred).back());
        EXPECT_EQ(item.IpAddress, c.ipAddress);
        EXPECT_EQ(item.QueryType, c.type);
    }
}

TEST(RequestRun, ControlCharactersInAnAddressSendNothing) {
    FakeWhoisServer test(W::Answer("found"));
    Bench b;
    b.Load({{".test", {At(test)}}});
    b.settings.DetermineIpAddress = true;
    const std::pair<std::string, std::string> cases[] = {
        {"a.test\r\nb.test", "a.test\\r\\nb.test"},
        {"a.test\nb.test", "a.test\\nb.test"},
        {"a\tb.test", "a\\tb.test"},
        {"a\x1b[2J.test", "a\\x1b[2J.test"},
        {"a\x7f.test", "a\\x7f.test"},
    };
    for (const auto& [query, shown] : cases) {
        SCOPED_TRACE(shown);
        b.ui.log.clear();
        EXPECT_EQ(b.Run({{query}, {}, false}), -3);
        EXPECT_EQ(b.ui.log, Lines{"E control " + shown});
    }
    EXPECT_EQ(test.Connections(), 0);
    EXPECT_EQ(b.ui.results.Count(), 0);
}

// A server that keeps trickling and a proxy that never replies both end within a few
// read time-outs; the bound that struck is named in the log.
TEST(RequestRun, EveryExchangeEndsWithinItsBound) {
    FakeWhoisServer trickle(W::Pieces(std::vector<std::string>(100, "x"), 40));
    FakeSocksProxy silentProxy({{{"", SocksStep::Then::Silent}}, 0});
    struct Case {
        const char* name;
        bool viaProxy;
        Lines log;
    };
    const Case cases[] = {
        {"trickle", false, {"i start x.test", "i ask {T}", "E over time {T}", "E failed x.test"}},
        {"silent proxy", true, {"i start x.test", "i ask {T}", "E failed x.test"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.Load({{".test", {At(trickle)}}});
        b.settings.whoisTimeout = 150;
        if (c.viaProxy) b.settings.socks = {3, "127.0.0.1", silentProxy.port(), 0, {}, {}};
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(b.Run({{"x.test"}, {}, true}), -1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        Lines want;
        for (const auto& line : c.log)
            want.push_back(Subst(line, {{"{T}", At(trickle)}}));
        EXPECT_EQ(b.ui.log, want);
    }
}

TEST(RequestRun, TypicalSequenceForANameWithLookUps) {
    FakeWhoisServer referral(W::Answer("registrar data"));
    FakeWhoisServer first(W::Answer("Whois Server: 127.0.0.1:" + std::to_string(referral.port())));
    Bench b;
    b.Load({{"localhost", {At(first)}}});
    b.settings.DetermineIpAddress = true;
    b.settings.DetermineReverseName = true;

    EXPECT_EQ(b.Run({{"localhost"}, {}, true}), 0);

    ASSERT_EQ(b.ui.results.Count(), 1);
    const TWhoisResultItem& item = b.ui.results[0];
    EXPECT_FALSE(item.ReverseName.empty());
    EXPECT_EQ(b.ui.log, (Lines{"i start localhost", "i resolve localhost", "i ip 127.0.0.1",
                               "i reverse 127.0.0.1", "i name " + item.ReverseName,
                               "i ask " + At(first), "i ask " + At(referral), "i done localhost"}));
    EXPECT_EQ(item.QueryString, "localhost");
    EXPECT_EQ(item.QueryType, QueryAsDomain);
    EXPECT_EQ(item.IpAddress, "127.0.0.1");
    EXPECT_EQ(item.RawAnswer, "registrar data");
    EXPECT_EQ(b.ui.ends, std::vector<bool>{true});
}

TEST(RequestRun, RefreshUpdatesInPlaceAndSkipsEntriesTheTrimDeleted) {
    const W echo = W::Respond([](const std::string& q) { return "new " + q; });
    FakeWhoisServer test(echo), ip(echo);
    Bench b;
    b.Load({{".test", {At(test)}}, {"ip", {At(ip)}}});
    b.ui.store.MaxWhoisResults = 3;
    auto add = [&](const char* query, TQueryType type) {
        TWhoisResultItem& item = b.ui.results.Add();
        item.QueryString = query;
        item.QueryType = type;
        item.RawAnswer = "old";
        return item.Id();
    };
    const ResultId a = add("a.test", QueryAsDomain); // deleted by the first store's trim
    const ResultId ip4 = add("127.0.0.1", QueryAsAddress);
    const ResultId c = add("c.test", QueryAsDomain);
    const ResultId empty = add("", QueryAsDomain);

    EXPECT_EQ(b.Run({{}, {ip4, a, empty, c}, true}), 0);

    EXPECT_EQ(b.ui.log,
              (Lines{"i start 127.0.0.1", "i ask " + At(ip), "i done 127.0.0.1", "E empty query",
                     "i start c.test", "i ask " + At(test), "i done c.test"}));
    EXPECT_EQ(test.Queries(), Lines{"c.test"}); // a.test was never asked
    ASSERT_EQ(b.ui.results.Count(), 3);
    const std::pair<std::string, std::string> want[] = {
        {"127.0.0.1", "new 127.0.0.1"}, {"c.test", "new c.test"}, {"", "old"}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::pair(b.ui.results[i].QueryString, b.ui.results[i].RawAnswer), want[i]);
    EXPECT_EQ(b.ui.results[0].QueryType, QueryAsAddress);
}

TEST(RequestRun, StopEndsTheExchangeAtOnceAndStoresNothing) {
    FakeWhoisServer silent(W::Silent());
    Bench b;
    b.Load({{".test", {At(silent)}}});
    b.settings.whoisTimeout = 20000;
    b.settings.PropWNDQuery = 2; // a stopped run closes the window all the same
    for (const char* q : {"a.test", "b.test"}) {
        b.ui.results.Add().QueryString = q;
        b.ui.results[b.ui.results.Count() - 1].RawAnswer = "old";
    }
    const RunRequest request{{}, {b.ui.results[0].Id(), b.ui.results[1].Id()}, true};
    TWhoisRequestThread run(request, b.settings, &b.domains, nullptr, Messages(), b.ui, b.ui);
    ASSERT_TRUE(silent.WaitForConnections(1, 5000));

    const auto stopped = std::chrono::steady_clock::now();
    run.Stop();
    run.Wait();

    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(2));
    EXPECT_EQ(b.ui.log, (Lines{"i start a.test", "i ask " + At(silent)}));
    EXPECT_EQ(silent.Connections(), 1); // the second entry is never started
    EXPECT_EQ(b.ui.results[0].RawAnswer, "old");
    EXPECT_EQ(b.ui.ends, std::vector<bool>{true});
}

TEST(RequestRun, WindowClosesAsPropWNDQuerySays) {
    struct Case {
        int prop;
        std::vector<std::string> addresses; // "ok.test" answers, "no.fail" is refused
        bool close;
    };
    const Case cases[] = {
        {0, {"ok.test"}, true},
        {0, {"no.fail"}, false},
        {0, {"no.fail", "ok.test"}, true},
        {0, {"ok.test", "no.fail"}, false},
        {1, {"ok.test"}, true},
        {1, {"no.fail"}, true},
        {2, {"ok.test"}, false},
        {2, {"no.fail"}, false},
    };
    FakeWhoisServer answering(W::Answer("found"));
    RefusingPort refusing;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.prop << " " << c.addresses.back());
        Bench b;
        b.Load({{".test", {At(answering)}},
                {".fail", {"127.0.0.1:" + std::to_string(refusing.port())}}});
        b.settings.PropWNDQuery = static_cast<uint8_t>(c.prop);
        EXPECT_EQ(b.Run({c.addresses, {}, true}), c.addresses.back() == "ok.test" ? 0 : -1);
        EXPECT_EQ(b.ui.ends, std::vector<bool>{c.close});
    }
}

// A UI call that fails must end that address, not the process, and never as a success;
// the run must still report its end so the window can close.
TEST(RequestRun, FailingUiCallEndsOnlyThatAddress) {
    struct ThrowingUi : RecordingUi {
        std::string failOn;
        void AddLogLine(LogImage image, const std::string& text) override {
            if (text == failOn) throw std::runtime_error("the log is gone");
            RecordingUi::AddLogLine(image, text);
        }
    };
    FakeWhoisServer answering(W::Answer("found"));
    const std::string ask = "i ask " + At(answering);
    struct Case {
        std::string failOn;
        Lines log;
        int stored;
        int32_t code; // of the last address
    };
    const Case cases[] = {
        // The end line of the first address fails: its answer is stored all the same.
        {"done a.test", {"i start a.test", ask, "i start b.test", ask, "i done b.test"}, 2, 0},
        // A step before the exchange fails: nothing is asked, the address failed.
        {"start b.test", {"i start a.test", ask, "i done a.test", "E failed b.test"}, 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failOn);
        Bench b;
        b.Load({{".test", {At(answering)}}});
        ThrowingUi ui;
        ui.failOn = c.failOn;
        TWhoisRequestThread run({{"a.test", "b.test"}, {}, true}, b.settings, &b.domains, nullptr,
                                Messages(), ui, ui);
        run.Wait();
        EXPECT_EQ(ui.log, c.log);
        EXPECT_EQ(ui.results.Count(), c.stored);
        EXPECT_EQ(run.ErrorCode() == 0, c.code == 0);
        EXPECT_EQ(ui.ends, std::vector<bool>{c.code == 0});
    }
}

} // namespace
} // namespace tesseron::test
