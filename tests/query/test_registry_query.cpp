// Which registry holds a typed number, the line its server expects, and the referral an
// address's answer names.

#include "query/Referral.h"
#include "query/RegistryQuery.h"
#include "query/ServerRoute.h"
#include "serverdb/uDomainList.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

// From typed text to the registry's server and query line, over the shipped tables.
TEST(RegistryQuery, TypedNumbersReachTheirRegistryWithItsQueryLine) {
    RegistryBlocks blocks;
    ASSERT_EQ(blocks.LoadFolder(TESSERON_SOURCE_DIR "/data/rdap"), "");
    const struct {
        const char* typed;
        const char* server;
        const char* line;
    } cases[] = {
        {"AS15169", "whois.arin.net", "a 15169"},
        {"as 3333", "whois.ripe.net", "AS3333"},
        {"AS4608", "whois.apnic.net", "AS4608"},
        {"AS36864", "whois.afrinic.net", "AS36864"},
        {"8.8.8.8", "whois.arin.net", "n + 8.8.8.8"},
        {"8.8.8.0/24", "whois.arin.net", "r + = 8.8.8.0/24"},
        {"193.0.6.139", "whois.ripe.net", "193.0.6.139"},
        {"193.0.0.0/21", "whois.ripe.net", "193.0.0.0/21"},
        {"1.1.1.1", "whois.apnic.net", "1.1.1.1"},
        {"41.0.0.1", "whois.afrinic.net", "41.0.0.1"},
        {"200.3.12.0/22", "whois.lacnic.net", "200.3.12.0/22"},
        {"2001:4860::8888", "whois.arin.net", "n + 2001:4860::8888"},
        {"[2a00:1450::1]", "whois.ripe.net", "2a00:1450::1"},
        {"2c0f:f000::/32", "whois.afrinic.net", "2c0f:f000::/32"},
        {"2800:3f0::/32", "whois.lacnic.net", "2800:3f0::/32"},
    };
    for (const auto& c : cases) {
        const auto q = ClassifyQuery(c.typed);
        const auto m = FindRegistry(blocks, q);
        ASSERT_TRUE(m) << c.typed;
        EXPECT_EQ(m->whoisServer, c.server) << c.typed;
        EXPECT_EQ(RegistryQueryLine(m->whoisServer, q.kind, q.canonical), c.line) << c.typed;
    }
    // Nothing for names, documentation ranges and networks wider than any block.
    for (const char* none : {"example.com", "", "3fff::1", "0.0.0.0/0", "AS4294967295"})
        EXPECT_FALSE(FindRegistry(blocks, ClassifyQuery(none))) << none;
}

TEST(RegistryQuery, LineForEachServer) {
    using K = QueryKind;
    const struct {
        const char* server;
        K kind;
        const char* canonical;
        const char* line;
    } cases[] = {
        {"WHOIS.ARIN.NET.", K::ASNumber, "AS1", "a 1"},
        {"whois.arin.net", K::IPv6Network, "2001:db8::/32", "r + = 2001:db8::/32"},
        {"whois.arin.net", K::Name, "arin.net", "arin.net"},
        {"whois.nic.ad.jp", K::ASNumber, "AS1234", "AS 1234"},
        {"whois.nic.ad.jp", K::IPv4Address, "192.0.2.1", "192.0.2.1"},
        {"127.0.0.1", K::ASNumber, "AS15169", "AS15169"},
        {"whois.arin.net.example", K::ASNumber, "AS15169", "AS15169"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RegistryQueryLine(c.server, c.kind, c.canonical), c.line) << c.server;
}

TEST(RegistryQuery, LastReferralLineCountsWithTheFirstLinesValueRules) {
    const struct {
        const char* answer;
        std::optional<std::string> value;
    } cases[] = {
        {"NetRange: 8.0.0.0 - 8.255.255.255\nReferralServer: whois://whois.arin.net\n\n"
         "NetRange: 8.8.8.0 - 8.8.8.255\nReferralServer: rwhois://RWhois.Example:4321/\r\n",
         "rwhois://rwhois.example:4321/"},
        {"referralserver: one\r\nREFERRALSERVER:  two  \r\nother: x", " two"},
        {"ReferralServer: only", "only"},
        {"ReferralServer: a ReferralServer: b\nx\n", "a referralserver: b"},
        {"ReferralServer: a\nReferralServer:\n", ""},
        {"ReferralServer: a\rReferral\nServer: b\n", "a"},
        {"no key\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindLastReferral(c.answer, "ReferralServer:"), c.value) << c.answer;
    // With one line holding the key, both rules read the same line.
    for (const char* one : {"ReferralServer: only", "x\nReferralServer:\n", "no key",
                            "  referralserver:   Spaced \t\r\nNext: y"})
        EXPECT_EQ(FindLastReferral(one, "ReferralServer:"), FindReferral(one, "ReferralServer:"))
            << one;
}

// The zone a text goes to, the order its servers are asked in and the line each one gets.
TEST(ServerRoute, RegistryFirstThenTheListWithEachServersLine) {
    RegistryBlocks blocks;
    ASSERT_EQ(blocks.LoadFolder(TESSERON_SOURCE_DIR "/data/rdap"), "");
    const std::string list = R"(<w><domains><z><suffix>ip</suffix><servers>
        <s><address>127.0.0.1:4343</address><whois_prefix>-B </whois_prefix></s>
        <s><address>whois.ripe.net</address></s>
        <s><address>WHOIS.ARIN.NET:43</address><whois_prefix>n + </whois_prefix></s>
        <s><address>whois.nic.ad.jp</address><whois_prefix>-x </whois_prefix></s>
        </servers></z></domains></w>)";
    TDomainCollection zones;
    zones.LoadFromBuffer(list.data(), list.size());
    const TWhoisServerCollection& zone = zones[0].WhoisServers;
    const struct {
        const char* typed;
        const char* zoneText;
        bool withBlocks;
        std::vector<std::string> asked; // server, query line as "prefix|query"
    } cases[] = {
        {"8.8.8.8",
         "ip",
         true,
         {"WHOIS.ARIN.NET:43 |n + 8.8.8.8", "127.0.0.1:4343 -B |8.8.8.8", "whois.ripe.net |8.8.8.8",
          "whois.nic.ad.jp |8.8.8.8"}},
        {"AS15169",
         "asn",
         true,
         {"WHOIS.ARIN.NET:43 |a 15169", "127.0.0.1:4343 -B |AS15169", "whois.ripe.net |AS15169",
          "whois.nic.ad.jp |AS 15169"}},
        {"193.0.0.0/21",
         "ip",
         true,
         {"whois.ripe.net |193.0.0.0/21", "127.0.0.1:4343 -B |193.0.0.0/21",
          "WHOIS.ARIN.NET:43 |r + = 193.0.0.0/21", "whois.nic.ad.jp |193.0.0.0/21"}},
        // No block holds it, or no tables: the list's order.
        {"3fff::1",
         "ip",
         true,
         {"127.0.0.1:4343 -B |3fff::1", "whois.ripe.net |3fff::1", "WHOIS.ARIN.NET:43 |n + 3fff::1",
          "whois.nic.ad.jp |3fff::1"}},
        {"8.8.8.8",
         "ip",
         false,
         {"127.0.0.1:4343 -B |8.8.8.8", "whois.ripe.net |8.8.8.8", "WHOIS.ARIN.NET:43 |n + 8.8.8.8",
          "whois.nic.ad.jp |8.8.8.8"}},
        // A name keeps the list's order and prefixes, whatever server it meets.
        {"x.example",
         "x.example",
         true,
         {"127.0.0.1:4343 -B |x.example", "whois.ripe.net |x.example",
          "WHOIS.ARIN.NET:43 n + |x.example", "whois.nic.ad.jp -x |x.example"}},
    };
    for (const auto& c : cases) {
        const QueryText q = ClassifyQuery(c.typed);
        EXPECT_EQ(ZoneLookupText(q.kind, c.typed), c.zoneText) << c.typed;
        std::vector<std::string> asked;
        for (const TWhoisServerItem* s : AskingOrder(zone, c.withBlocks ? &blocks : nullptr, q)) {
            const Question question =
                QuestionFor(SplitServerAddress(s->Address).host, s->WhoisPrefix, q, c.typed);
            asked.push_back(s->Address + " " + question.prefix + "|" + question.query);
        }
        EXPECT_EQ(asked, c.asked) << c.typed;
    }
}

} // namespace
