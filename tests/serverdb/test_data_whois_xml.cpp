// Checks the server list shipped in data/whois.xml: it loads, names resolve to the right
// registry, and no zone is malformed or hidden behind another one.

#include "serverdb/ServerListWalks.h"
#include "serverdb/uDomainList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tesseron {
namespace {

const TDomainCollection& ShippedList() {
    static const std::unique_ptr<TDomainCollection> list = [] {
        auto loaded = std::make_unique<TDomainCollection>();
        loaded->LoadFromFile(TESSERON_SOURCE_DIR "/data/whois.xml");
        return loaded;
    }();
    return *list;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Visits every zone of the tree, sub-zones included, with its parent (nullptr at the top).
void ForEachZone(const TDomainCollection& zones, const TDomainItem* parent,
                 const std::function<void(const TDomainItem&, const TDomainItem*)>& visit) {
    for (int i = 0; i < zones.Count(); ++i) {
        const TDomainItem& zone = zones[i];
        visit(zone, parent);
        ForEachZone(zone.SubDomains, &zone, visit);
    }
}

TEST(ShippedServerList, NamesMapToTheirRegistrysServerFirst) {
    struct Case {
        const char* text;
        const char* address;
        const char* prefix;
    };
    const Case cases[] = {
        {"example.com", "whois.verisign-grs.com", "domain "},
        {"example.net", "whois.verisign-grs.com", "domain "},
        {"EXAMPLE.ORG", "whois.publicinterestregistry.org", ""},
        {"example.co.uk", "whois.nic.uk", ""},
        {"ox.ac.uk", "whois.ja.net", ""},           // sub-zone beats .uk
        {"bbc.uk.com", "whois.centralnic.com", ""}, // sub-zone beats .com
        {"example.eu.org", "whois.eu.org", ""},     // sub-zone beats .org
        {"example.de", "whois.denic.de", "-T dn,ace "},
        {"example.com.de", "whois.centralnic.com", ""}, // sub-zone beats .de
        {"example.co.za", "whois.registry.net.za", ""},
        {"example.ru", "whois.tcinet.ru", ""},
        {"example.xn--p1ai", "whois.tcinet.ru", ""},
        {"example.io", "whois.nic.io", ""},
        {"example.edu", "whois.educause.edu", ""},
        {"example.academy", "whois.nic.academy", ""},
        {"example.app", "whois.nic.google", ""},
        {"example.xyz", "whois.nic.xyz", ""},
        // These end in "ip" too: their own zones must come before the IP address zone.
        {"example.zip", "whois.nic.google", ""},
        {"example.vip", "whois.nic.vip", ""},
    };
    const TDomainCollection& list = ShippedList();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TWhoisServerCollection* servers = list.FindServers(c.text);
        ASSERT_NE(servers, nullptr);
        ASSERT_GT(servers->Count(), 0);
        EXPECT_EQ((*servers)[0].Address, c.address);
        EXPECT_EQ((*servers)[0].WhoisPrefix, c.prefix);
    }
}

TEST(ShippedServerList, ZoneWithoutOwnServerIsFoundButEmpty) {
    // South Africa has servers only for its second-level zones.
    const TWhoisServerCollection* servers = ShippedList().FindServers("example.za");
    ASSERT_NE(servers, nullptr);
    EXPECT_EQ(servers->Count(), 0);
    ASSERT_NE(servers->Owner(), nullptr);
    EXPECT_EQ(servers->Owner()->Suffix, ".za");
}

TEST(ShippedServerList, AddressQueriesGoToArinFirstThenTheOtherRegistries) {
    const TWhoisServerCollection* servers = ShippedList().FindServers("ip");
    ASSERT_NE(servers, nullptr);
    std::vector<std::string> addresses;
    for (int i = 0; i < servers->Count(); ++i)
        addresses.push_back((*servers)[i].Address);
    const std::vector<std::string> expected = {"whois.arin.net", "whois.ripe.net",
                                               "whois.apnic.net", "whois.lacnic.net",
                                               "whois.afrinic.net"};
    EXPECT_EQ(addresses, expected);
}

TEST(ShippedServerList, IsComprehensive) {
    const ServerListTotals totals = CountTotals(ShippedList());
    EXPECT_GE(ShippedList().Count(), 700);
    EXPECT_GE(totals.zones, 700);
    EXPECT_GE(totals.servers, totals.zones - 10); // nearly every zone has a server
}

TEST(ShippedServerList, EveryServerIsUsable) {
    ForEachZone(ShippedList(), nullptr, [](const TDomainItem& zone, const TDomainItem*) {
        for (int i = 0; i < zone.WhoisServers.Count(); ++i) {
            const TWhoisServerItem& server = zone.WhoisServers[i];
            SCOPED_TRACE(zone.Suffix + " server " + std::to_string(i));
            EXPECT_FALSE(server.Name.empty());
            EXPECT_FALSE(server.Address.empty());
            EXPECT_EQ(server.Address.find_first_of(" \t\r\n"), std::string::npos);
            EXPECT_EQ(server.WebInterface.rfind("https://", 0), 0u);
            // The prefix is glued to the query text, so flags need their separating blank.
            if (!server.WhoisPrefix.empty()) {
                EXPECT_EQ(server.WhoisPrefix.back(), ' ');
            }
        }
    });
}

TEST(ShippedServerList, ZoneSuffixesAreWellFormedAndUnique) {
    std::set<std::string> topLevel;
    ForEachZone(ShippedList(), nullptr, [&](const TDomainItem& zone, const TDomainItem* parent) {
        SCOPED_TRACE(zone.Suffix);
        EXPECT_FALSE(zone.Description.empty());
        if (zone.Suffix != "ip") {
            EXPECT_EQ(zone.Suffix.rfind('.', 0), 0u);
        }
        EXPECT_EQ(zone.Suffix.find_first_of("*?[] "), std::string::npos);
        if (parent) {
            EXPECT_TRUE(EndsWith(Lower(zone.Suffix), Lower(parent->Suffix)))
                << "not under " << parent->Suffix;
        } else {
            EXPECT_TRUE(topLevel.insert(Lower(zone.Suffix)).second) << "listed twice";
        }
    });
}

TEST(ShippedServerList, NameMatchingNoZoneWalksEveryZoneWithoutError) {
    // Reaching a suffix that is not a valid mask would throw here.
    EXPECT_EQ(ShippedList().FindServers("host.invalid"), nullptr);
}

TEST(ShippedServerList, EveryZoneIsReachableForNamesUnderIt) {
    // Catches a zone hidden by an earlier one, such as a sub-zone put at the top level
    // after its parent, or a suffix that an earlier mask swallows.
    const TDomainCollection& list = ShippedList();
    ForEachZone(list, nullptr, [&](const TDomainItem& zone, const TDomainItem*) {
        const std::string text = zone.Suffix == "ip" ? "ip" : "example" + zone.Suffix;
        const TWhoisServerCollection* found = list.FindServers(text);
        ASSERT_NE(found, nullptr) << text;
        EXPECT_EQ(found->Owner(), &zone) << text << " reaches " << found->Owner()->Suffix;
    });
}

} // namespace
} // namespace tesseron
