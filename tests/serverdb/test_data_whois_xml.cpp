// Checks the server list shipped in data/whois.xml: it loads, names resolve to the right
// registry, no zone is malformed or hidden behind another one, and it agrees with the copy
// of IANA's data it was generated from.

#include "serverdb/ServerListWalks.h"
#include "serverdb/uDomainList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
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
        {"bbc.uk.com", "whois.centralnic.net", ""}, // sub-zone beats .com
        {"example.eu.org", "whois.eu.org", ""},     // sub-zone beats .org
        {"example.de", "whois.denic.de", "-T dn,ace "},
        {"example.com.de", "whois.centralnic.net", ""}, // sub-zone beats .de
        {"example.co.za", "whois.registry.net.za", ""},
        {"example.ru", "whois.tcinet.ru", ""},
        {"example.xn--p1ai", "whois.tcinet.ru", ""},
        {"example.io", "whois.nic.io", ""},
        {"example.edu", "whois.educause.edu", ""},
        {"example.xyz", "whois.nic.xyz", ""},
        {"example.aaa", "whois.nic.aaa", ""}, // a TLD the table does not name
        // These end in "ip" too: their own zones must come before the IP address zone.
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
    // South Africa has servers only for its second-level zones; the others answer on
    // RDAP only. ".zip" ends in "ip" as well: its own zone is found, not the IP one.
    for (const char* suffix : {".za", ".info", ".zip", ".xn--6frz82g"}) {
        const TWhoisServerCollection* servers =
            ShippedList().FindServers(std::string("x") + suffix);
        ASSERT_NE(servers, nullptr) << suffix;
        EXPECT_EQ(servers->Count(), 0) << suffix;
        ASSERT_NE(servers->Owner(), nullptr);
        EXPECT_EQ(servers->Owner()->Suffix, suffix);
    }
}

TEST(ShippedServerList, AddressQueriesGoToArinFirstThenTheOtherRegistries) {
    const std::vector<std::string> expected = {"whois.arin.net", "whois.ripe.net",
                                               "whois.apnic.net", "whois.lacnic.net",
                                               "whois.afrinic.net"};
    for (const std::string_view text : {kIPAddressZoneText, kASNumberZoneText}) {
        const TWhoisServerCollection* servers = ShippedList().FindServers(std::string(text));
        ASSERT_NE(servers, nullptr) << text;
        std::vector<std::string> addresses;
        for (int i = 0; i < servers->Count(); ++i)
            addresses.push_back((*servers)[i].Address);
        EXPECT_EQ(addresses, expected) << text;
    }
}

TEST(ShippedServerList, LegacyCharsetsAreKnownForTheirServers) {
    const std::pair<const char*, const char*> cases[] = {
        {"whois.kg", "windows-1251"},     {"whois.apnic.net", "iso-8859-1"},
        {"whois.dns.lu", "iso-8859-1"},   {"whois.fi", "iso-8859-1"},
        {"whois.isnic.is", "iso-8859-1"}, {"whois.nic.hu", "iso-8859-1"},
        {"whois.norid.no", "iso-8859-1"}, {"whois.registro.br", "iso-8859-1"},
        {"whois.verisign-grs.com", ""},   {"whois.ripe.net", ""},
    };
    for (const auto& [host, charset] : cases)
        EXPECT_EQ(CharsetOfServer(ShippedList(), host), charset) << host;
}

TEST(ShippedServerList, IsComprehensive) {
    const ServerListTotals totals = CountTotals(ShippedList());
    EXPECT_GE(ShippedList().Count(), 1400);
    EXPECT_GE(totals.zones, 1400);
    EXPECT_GE(totals.servers, 900); // the rest of the root answers on RDAP only
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
        if (zone.Suffix != kIPAddressZoneText && zone.Suffix != kASNumberZoneText) {
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
        const bool fixed = zone.Suffix == kIPAddressZoneText || zone.Suffix == kASNumberZoneText;
        const std::string text = fixed ? zone.Suffix : "example" + zone.Suffix;
        const TWhoisServerCollection* found = list.FindServers(text);
        ASSERT_NE(found, nullptr) << text;
        EXPECT_EQ(found->Owner(), &zone) << text << " reaches " << found->Owner()->Suffix;
    });
}

// The copy of IANA's data the list is generated from: the root zone's TLDs and each
// zone's port-43 server (none for a TLD the server file leaves out).
struct IanaData {
    std::set<std::string> tlds;
    std::map<std::string, std::string> servers; // "com", "co.uk", ...
};

const IanaData& Iana() {
    static const IanaData data = [] {
        IanaData d;
        const std::string dir = TESSERON_SOURCE_DIR "/scripts/whois-data/iana/";
        std::ifstream root(dir + "tlds-alpha-by-domain.txt");
        for (std::string line; std::getline(root, line);)
            if (!line.empty() && line[0] != '#') d.tlds.insert(Lower(line));
        std::ifstream servers(dir + "whois-servers.tsv");
        for (std::string line; std::getline(servers, line);) {
            const auto tab = line.find('\t');
            if (!line.empty() && line[0] != '#' && tab != std::string::npos)
                d.servers[Lower(line.substr(0, tab))] = Lower(line.substr(tab + 1));
        }
        return d;
    }();
    return data;
}

TEST(ShippedServerList, FollowsIanasRootZoneAndServers) {
    const IanaData& iana = Iana();
    ASSERT_EQ(iana.tlds.size(), 1438u);
    ASSERT_GT(iana.servers.size(), 900u);
    std::map<std::string, const TDomainItem*> zones; // "co.uk" for ".co.uk"
    ForEachZone(ShippedList(), nullptr, [&](const TDomainItem& zone, const TDomainItem* parent) {
        if (zone.Suffix[0] != '.') return; // the zones of IP addresses and AS numbers
        const std::string name = Lower(zone.Suffix.substr(1));
        zones[name] = &zone;
        if (!parent) {
            EXPECT_TRUE(iana.tlds.count(name)) << zone.Suffix << " is not in the root";
        }
    });
    // Every TLD of the root and every second-level zone IANA's data names has a zone, with
    // IANA's server as its only one; a TLD whose server IANA has delisted keeps none.
    std::vector<std::string> names(iana.tlds.begin(), iana.tlds.end());
    for (const auto& [zone, server] : iana.servers)
        if (zone.find('.') != std::string::npos) names.push_back(zone);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const auto found = zones.find(name);
        ASSERT_NE(found, zones.end()) << "no zone";
        const TWhoisServerCollection& servers = found->second->WhoisServers;
        const auto listed = iana.servers.find(name);
        if (listed == iana.servers.end()) {
            EXPECT_EQ(servers.Count(), 0) << "a delisted server is left";
        } else {
            ASSERT_EQ(servers.Count(), 1);
            EXPECT_EQ(Lower(servers[0].Address), listed->second);
        }
    }
}

} // namespace
} // namespace tesseron
