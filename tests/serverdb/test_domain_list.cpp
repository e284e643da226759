#include "serverdb/ServerListWalks.h"
#include "serverdb/uDomainList.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>

namespace tesseron::test {
namespace {

void Load(TDomainCollection& list, const std::string& xml) {
    list.LoadFromBuffer(xml.data(), xml.size());
}

std::string Zone(const std::string& suffix, const std::string& inner = "") {
    return "<zone><suffix>" + suffix + "</suffix>" + inner + "</zone>";
}
std::string Server(const std::string& address) {
    return "<server><address>" + address + "</address></server>";
}
std::string List(const std::string& zones) {
    return "<whois><domains>" + zones + "</domains></whois>";
}

std::string LoadError(TDomainCollection& list, const std::string& xml) {
    try {
        Load(list, xml);
    } catch (const ServerListError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(DomainList, ReadsZonesAndServersInFileOrder) {
    TDomainCollection list;
    Load(list, "<?xml version=\"1.0\"?><anyname><domains>"
               "<zone id=\"ignored\"><servers>"
               "<server><rating>10</rating><whois_prefix>-T dn </whois_prefix>"
               "<name>Registry</name><name>second name</name><address>whois.example</address>"
               "<webinterface>http://w</webinterface><online>http://o</online>"
               "<description>d</description></server>"
               "<other>" +
                   std::string("<address>whois2.example</address>") +
                   "</other>"
                   "</servers><description>Example zone</description><suffix>.example</suffix>"
                   "<domains>" +
                   Zone(".co.example") + "</domains></zone>" + Zone("ip") + "</domains></anyname>");
    ASSERT_EQ(list.Count(), 2);
    const TDomainItem& z = list[0];
    EXPECT_EQ(z.Suffix, ".example");
    EXPECT_EQ(z.Description, "Example zone");
    ASSERT_EQ(z.SubDomains.Count(), 1);
    EXPECT_EQ(z.SubDomains[0].Suffix, ".co.example");
    ASSERT_EQ(z.WhoisServers.Count(), 2);
    const TWhoisServerItem& s = z.WhoisServers[0];
    EXPECT_EQ(s.Name, "Registry");
    EXPECT_EQ(s.Address, "whois.example");
    EXPECT_EQ(s.WebInterface, "http://w");
    EXPECT_EQ(s.Online, "http://o");
    EXPECT_EQ(s.Description, "d");
    EXPECT_EQ(s.WhoisPrefix, "-T dn ");
    EXPECT_EQ(s.Rating, 10);
    EXPECT_EQ(s.Zone(), &z);
    EXPECT_EQ(z.WhoisServers[1].Address, "whois2.example");
    EXPECT_EQ(z.WhoisServers[1].Index(), 1);
    EXPECT_EQ(list[1].Suffix, "ip");
    EXPECT_EQ(list[1].Index(), 1);
    EXPECT_THROW(list[2], std::out_of_range);
}

TEST(DomainList, EmptyListsAndSkippedZones) {
    const std::pair<const char*, std::string> cases[] = {
        {"no domains element", "<whois/>"},
        {"empty domains", "<whois><domains/></whois>"},
        {"names are case-sensitive", "<whois><Domains>" + Zone(".a") + "</Domains></whois>"},
        {"nested too far down", "<whois><x><domains>" + Zone(".a") + "</domains></x></whois>"},
        {"missing suffix", List("<zone><servers>" + Server("s") + "</servers></zone>")},
        {"empty suffix", List(Zone("", "<domains>" + Zone(".sub") + "</domains>"))},
        {"blank suffix", List(Zone("  \n "))},
        {"comment only", List("<!--" + Zone(".a") + "-->")},
    };
    for (const auto& [what, xml] : cases) {
        SCOPED_TRACE(what);
        TDomainCollection list;
        Load(list, xml);
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.FindServers("a.sub"), nullptr);
    }
    TDomainCollection list;
    Load(list, List(Zone("") + "<zone/>" + Zone(".next")));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list[0].Suffix, ".next");
}

TEST(DomainList, ValueTextIsKeptExactly) {
    const std::pair<const char*, const char*> cases[] = {
        {"<name/>", ""},
        {"<name></name>", ""},
        {"<name>   </name>", ""},
        {"<name>  padded  </name>", "  padded  "},
        {"<name><![CDATA[ <b>&x</b> ]]></name>", " <b>&x</b> "},
        {"<name>a &amp; b &#x41;</name>", "a & b A"},
        {"<name>a<!-- note -->b</name>", "ab"},
        {"<name>l\xC3\xADnea\r\ntwo</name>", "l\xC3\xADnea\ntwo"},
    };
    for (const auto& [element, expected] : cases) {
        SCOPED_TRACE(element);
        TDomainCollection list;
        Load(list, List(Zone(".a", std::string("<servers><s>") + element + "</s></servers>")));
        EXPECT_EQ(list[0].WhoisServers[0].Name, expected);
    }
}

TEST(DomainList, RatingFallsBackToZero) {
    const std::pair<const char*, int> cases[] = {
        {"<rating>7</rating>", 7},
        {"<rating>-5</rating>", -5},
        {"<rating>+3</rating>", 3},
        {"<rating> 12 </rating>", 12},
        {"<rating>-2147483648</rating>", INT_MIN},
        {"<rating>2147483648</rating>", 0},
        {"<rating>abc</rating>", 0},
        {"<rating>5x</rating>", 0},
        {"<rating>1.5</rating>", 0},
        {"<rating></rating>", 0},
        {"<rating><b>5</b></rating>", 0},
        {"<rating>5<b/></rating>", 0},
        {"", 0},
    };
    for (const auto& [element, expected] : cases) {
        SCOPED_TRACE(element);
        TDomainCollection list;
        Load(list, List(Zone(".a", std::string("<servers><s>") + element + "</s></servers>")));
        EXPECT_EQ(list[0].WhoisServers[0].Rating, expected);
    }
}

TEST(DomainList, CommentsAndInstructionsInServersAreNotServers) {
    TDomainCollection list;
    Load(list, List(Zone(".a", "<servers><!-- " + Server("x") + " --><?pi data?>" + Server("s1") +
                                   "\n  <!-- c -->\n" + Server("s2") + "</servers>")));
    ASSERT_EQ(list[0].WhoisServers.Count(), 2);
    EXPECT_EQ(list[0].WhoisServers[1].Address, "s2");
}

TEST(DomainList, ElementInsideValueEndsTheLoadKeepingWhatCameBefore) {
    const std::string good = Zone(".a", "<servers>" + Server("s1") + "</servers>");
    struct Case {
        const char* what;
        std::string zone;
        int zones;   // zones in the list after the failure
        int servers; // servers of the last zone
    };
    const Case cases[] = {
        {"child element in name", Zone(".b", "<servers><s><name>x<b/></name></s></servers>"), 2, 1},
        {"mixed content", Zone(".b", "<servers><s><name>x<b/>y</name></s></servers>"), 2, 1},
        {"element in suffix", "<zone><suffix><i>.b</i></suffix></zone>", 1, 1},
        {"element in description", Zone(".b", "<description><p/></description>"), 2, 0},
        {"later server",
         Zone(".b", "<servers>" + Server("t1") + "<s><address><a/></address></s></servers>"), 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TDomainCollection list;
        EXPECT_EQ(LoadError(list, List(good + c.zone + Zone(".never"))),
                  "Element does not contain a single text node");
        ASSERT_EQ(list.Count(), c.zones);
        EXPECT_EQ(list[0].WhoisServers[0].Address, "s1");
        EXPECT_EQ(list[c.zones - 1].WhoisServers.Count(), c.servers);
    }
}

TEST(DomainList, DamagedDocumentsAppendNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"<list>\n<domains>\n<zone <suffix>",
         "Error parsing start element tag\nLine: 3\n<zone <suffix>"},
        {List(Zone(".a")).substr(0, 30), "Line: 1\n"},
        {"", "No document element found\nLine: 1"},
        {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "Invalid UTF-8 byte sequence\nLine: 1\n?PNG"},
        {List(Zone(".a")) + std::string(1, '\0') + "<x>",
         "Invalid character (NUL byte)\nLine: 1\n"},
        {"<w>\n  <name>caf\xE9</name></w>",
         "Invalid UTF-8 byte sequence\nLine: 2\n<name>caf?</name></w>"},
        {"<?xml version='1.0' encoding='windows-1251'?><w/>",
         "Unsupported encoding \"windows-1251\""},
        {List("") + "<second/>", "Content outside the document element\nLine: 1\n"},
        {"<a>\n<b \x01\x02" + std::string(60, 'x'), "Line: 2\n<b ??" + std::string(35, 'x')},
    };
    for (const auto& [xml, expected] : cases) {
        SCOPED_TRACE(expected);
        TDomainCollection list;
        Load(list, List(Zone(".kept")));
        const std::string message = LoadError(list, xml);
        EXPECT_NE(message.find(expected), std::string::npos) << message;
        EXPECT_LE(message.size(), 160u);
        EXPECT_EQ(list.Count(), 1);
    }
}

TEST(DomainList, DecodesDeclaredAndMarkedEncodings) {
    const std::string latin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + List(Zone(".caf\xE9"));
    const std::string ascii = "\xEF\xBB\xBF" + List(Zone(".caf"));
    std::string utf16le = "\xFF\xFE", utf16be;
    for (char c : List(Zone(".caf"))) {
        utf16le += c, utf16le += '\0';
        utf16be += '\0', utf16be += c;
    }
    const std::pair<std::string, const char*> cases[] = {
        {latin1, ".caf\xC3\xA9"}, {ascii, ".caf"}, {utf16le, ".caf"}, {utf16be, ".caf"}};
    for (const auto& [bytes, suffix] : cases) {
        TDomainCollection list;
        Load(list, bytes);
        ASSERT_EQ(list.Count(), 1);
        EXPECT_EQ(list[0].Suffix, suffix);
    }
}

TEST(DomainList, LoadFromFileAppendsAndReportsUnreadableFiles) {
    TempDir dir;
    const auto file = dir.Write("whois.xml", List(Zone(".a") + Zone(".b")));
    TDomainCollection list;
    list.LoadFromFile(file.string());
    list.LoadFromFile(file.string());
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[2].Suffix, ".a");
    EXPECT_EQ(list[3].Index(), 3);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);

    for (const auto& path : {(dir / "missing.xml").string(), dir.path().string()}) {
        try {
            list.LoadFromFile(path);
            ADD_FAILURE() << "loaded " << path;
        } catch (const ServerListError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

// A file is parsed in place: its values and a damaged file's message (line and text near
// the fault) are those of the same bytes read from memory.
TEST(DomainList, FileAndBufferReadAlike) {
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    const std::string cases[] = {
        List(Zone("&#10;.a&amp;", "<description>x<!-- c -->y<![CDATA[<z>]]></description>")),
        latin1 + List(Zone(".caf\xe9", "<description>\xe9t\xe9</description>")),
        List(Zone(".a", "<description>one&#10;two&#10;</description>") + "\n<zone><bad</zone>"),
        List(Zone(".a")) + "\n<second/>",
        latin1 + List(Zone(".\xe9&#10;")) + "\n<zone>",
    };
    TempDir dir;
    for (const auto& xml : cases) {
        SCOPED_TRACE(xml);
        TDomainCollection fromFile, fromBuffer;
        std::string fileError = "(no error)", bufferError;
        try {
            fromFile.LoadFromFile(dir.Write("list.xml", xml).string());
        } catch (const ServerListError& e) {
            fileError = e.what();
        }
        bufferError = LoadError(fromBuffer, xml);
        EXPECT_EQ(fileError, bufferError);
        ASSERT_EQ(fromFile.Count(), fromBuffer.Count());
        for (int i = 0; i < fromFile.Count(); ++i) {
            EXPECT_EQ(fromFile[i].Suffix, fromBuffer[i].Suffix);
            EXPECT_EQ(fromFile[i].Description, fromBuffer[i].Description);
        }
    }
}

TEST(DomainList, LargeAndDeepLists) {
    std::string zones;
    while (zones.size() < 50'000'000)
        zones += Zone(".z" + std::to_string(zones.size()),
                      "<description>A zone with some description text</description><servers>" +
                          Server("whois.registry.example") + "</servers>");
    TempDir dir;
    TDomainCollection list;
    list.LoadFromFile(dir.Write("big.xml", List(zones)).string());
    EXPECT_GT(list.Count(), 200'000);

    std::string deep = Zone(".leaf");
    for (int i = 0; i < 101; ++i)
        deep = Zone(".d" + std::to_string(i), "<domains>" + deep + "</domains>");
    TDomainCollection nested;
    EXPECT_NE(LoadError(nested, List(deep)).find("nested more than 100"), std::string::npos);
}

TEST(DomainList, FindServersSearchesSubZonesFirstThenFileOrder) {
    TDomainCollection list;
    Load(list,
         List(Zone(".example", "<domains>" + Zone(".co.example") + "</domains><servers>" +
                                   Server("parent") + "</servers>") +
              Zone(".org", "<domains>" +
                               Zone(".co.example", "<servers>" + Server("late") + "</servers>") +
                               "</domains>") +
              Zone("com", "<servers>" + Server("com1") + "</servers>") +
              Zone(".com", "<servers>" + Server("com2") + "</servers>") +
              Zone("ip", "<servers>" + Server("arin") + "</servers>")));
    const TDomainItem& sub = list[0].SubDomains[0];
    const std::pair<const char*, const TWhoisServerCollection*> cases[] = {
        {"a.co.example", &sub.WhoisServers},
        {"a.example", &list[0].WhoisServers},
        {"A.EXAMPLE", &list[0].WhoisServers},
        {".example", &list[0].WhoisServers},
        {"a.com", &list[2].WhoisServers},
        {"telecom", &list[2].WhoisServers},
        {"ip", &list[4].WhoisServers},
        {"a.org", &list[1].WhoisServers},
        {"a.net", nullptr},
        {"", nullptr},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(list.FindServers(text), expected);
    }
    // a zone without servers is found, with its empty collection
    ASSERT_NE(list.FindServers("x.co.example"), nullptr);
    EXPECT_EQ(list.FindServers("x.co.example")->Count(), 0);
}

// The zone found for "ip" serves IP addresses only; a name that merely ends in those
// letters goes on to the next zone that serves it, or to none.
TEST(DomainList, NamesNeverGoToTheZoneOfIPAddresses) {
    TDomainCollection list;
    Load(list, List(Zone(".example", "<servers>" + Server("ex") + "</servers>") +
                    Zone("ip", "<servers>" + Server("arin") + "</servers>") +
                    Zone(".ship", "<servers>" + Server("ship") + "</servers>")));
    const std::pair<const char*, const TWhoisServerCollection*> cases[] = {
        {"ip", &list[1].WhoisServers},
        {"friendship", nullptr},
        {"example.trip", nullptr},
        {"a.ship", &list[2].WhoisServers},
        {"a.example", &list[0].WhoisServers},
        {"x.zip", nullptr},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(list.FindServers(text), expected) << text;
}

// Likewise the zone of AS numbers, with the zone of IP addresses beside it.
TEST(DomainList, NamesNeverGoToTheZoneOfASNumbers) {
    TDomainCollection list;
    Load(list, List(Zone(".example", "<servers>" + Server("ex") + "</servers>") +
                    Zone("ip", "<servers>" + Server("arin") + "</servers>") +
                    Zone("asn", "<servers>" + Server("ripe") + "</servers>") +
                    Zone(".plasn", "<servers>" + Server("plasn") + "</servers>")));
    const std::pair<const char*, const TWhoisServerCollection*> cases[] = {
        {"asn", &list[2].WhoisServers},
        {"ip", &list[1].WhoisServers},
        {"ASN", nullptr},
        {"wasn", nullptr},
        {"x.plasn", &list[3].WhoisServers},
        {"example.trip", nullptr},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(list.FindServers(text), expected) << text;
}

// A server's character set is kept as written; the answer pane finds it by the host a
// result names, whatever its letter case and with or without the listed port.
TEST(DomainList, CharsetsAreReadAndFoundByHost) {
    TDomainCollection list;
    Load(list, List(Zone(".a", "<servers><s><address>whois.kg</address><charset>windows-1251"
                               "</charset></s>" +
                                   Server("plain.example") + "</servers>") +
                    Zone(".b", "<domains>" +
                                   Zone(".x.b", "<servers><s><address>deep.example:4343</address>"
                                                "<charset>ISO-8859-1</charset></s></servers>") +
                                   "</domains>")));
    EXPECT_EQ(list[0].WhoisServers[0].Charset, "windows-1251");
    EXPECT_EQ(list[0].WhoisServers[1].Charset, "");
    const std::pair<const char*, const char*> cases[] = {
        {"whois.kg", "windows-1251"}, {"WHOIS.KG", "windows-1251"},   {"whois.k", ""},
        {"plain.example", ""},        {"deep.example", "ISO-8859-1"}, {"", ""},
    };
    for (const auto& [host, charset] : cases)
        EXPECT_EQ(CharsetOfServer(list, host), charset) << host;
}

TEST(DomainList, InvalidMaskRaisesOnlyWhenReachedAndSuffixChangesAreSeen) {
    TDomainCollection list;
    Load(list, List(Zone(".good") + Zone("[bad") + Zone(".other")));
    EXPECT_EQ(list.FindServers("x.good"), &list[0].WhoisServers);
    try {
        list.FindServers("x.other");
        ADD_FAILURE() << "no exception";
    } catch (const InvalidMaskError& e) {
        EXPECT_STREQ(e.what(), "'*[bad' is an invalid mask at (6)");
    }
    list[1].Suffix = ".bad";
    EXPECT_EQ(list.FindServers("x.other"), &list[2].WhoisServers);
    list[0].Suffix = ".changed";
    EXPECT_EQ(list.FindServers("x.good"), nullptr);
    EXPECT_EQ(list.FindServers("x.CHANGED"), &list[0].WhoisServers);
    list[0].Suffix = ".good";
    EXPECT_EQ(list.FindServers("x.good"), &list[0].WhoisServers);
}

TEST(DomainList, ConcurrentFirstLookupsAgree) {
    std::string zones;
    for (int i = 0; i < 300; ++i)
        zones += Zone(".z" + std::to_string(i),
                      "<servers>" + Server("s" + std::to_string(i)) + "</servers>");
    TDomainCollection list;
    Load(list, List(zones));
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&list, &wrong, t] {
            for (int i = 299; i >= 0; --i)
                if (list.FindServers("a.Z" + std::to_string(i)) != &list[i].WhoisServers)
                    ++wrong[static_cast<std::size_t>(t)];
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(DomainList, TotalsAndServerBoxWalkTheWholeTree) {
    TDomainCollection list;
    Load(list,
         List(Zone(".a", "<domains>" + Zone(".b.a", "<servers>" + Server("b1") + "</servers>") +
                             "</domains><servers>" + Server("a1") + Server("") + Server("a2") +
                             "</servers>") +
              Zone(".c", "<servers>" + Server("c1") + "</servers>") + Zone(".d")));
    const ServerListTotals totals = CountTotals(list);
    EXPECT_EQ(totals.zones, 4);
    EXPECT_EQ(totals.servers, 5);
    EXPECT_EQ(ServerBoxAddresses(list), (std::vector<std::string>{"a1", "a2", "b1", "c1"}));
}

} // namespace
} // namespace tesseron::test
