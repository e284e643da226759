#include "query/RdapRender.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tesseron::test {
namespace {

std::string Fixture(const char* name) {
    return ReadFile(std::filesystem::path(TESSERON_SOURCE_DIR "/tests/query/rdap") / name);
}

TEST(RdapRender, FamiliarLinesOfEachKindOfAnswer) {
    struct Case {
        const char* fixture;
        std::vector<std::string> lines; // each a whole line, in this order
        std::vector<std::string> absent = {};
    };
    const Case cases[] = {
        {"domain-registry.json",
         {"Domain Name: XN--BCHER-KVA.TEST",
          "Unicode Domain Name: bücher.test",
          "Registry Domain ID: 2336799_DOMAIN_TEST-REG",
          "Registrar: Example Registrar, Inc.",
          "Registrar IANA ID: 4242",
          "Registrar Abuse Contact Email: abuse@registrar.test",
          "Registrar Abuse Contact Phone: +1.5555550100",
          "Creation Date: 1995-08-14T04:00:00Z",
          "Updated Date: 2026-08-14T07:01:44Z",
          "Registry Expiry Date: 2027-08-13T04:00:00Z",
          "Domain Status: client transfer prohibited",
          "Domain Status: server delete prohibited",
          "Name Server: A.NS.TEST",
          "Name Server: B.NS.TEST",
          "DNSSEC: signedDelegation",
          "DNSSEC DS Data: 370 13 2 "
          "BE74359954660069D5C63D200C39F5603827D7DD02B56F120EE9F3A86764247C",
          "Registrar Handle: 4242",
          "Registrar Abuse Name: Abuse Desk",
          "Notice: Terms of Use",
          "  Service subject to Terms of Use.",
          "  https://registry.test/terms",
          "Notice: Status Codes",
          "  please visit https://icann.org/epp",
          ">>> Last update of RDAP database: 2026-12-09T20:00:00Z <<<"}},
        {"domain-registrar.json",
         {"Domain Name: xn--bcher-kva.test", "Registrant Organization: Bücher Verlag GmbH",
          "Registrant Street: Hauptstraße 1", "Registrant Street: Hinterhaus",
          "Registrant City: Berlin", "Registrant Postal Code: 10115", "Registrant Country: Germany",
          "Registrant Country Code: DE", "Technical Handle: TECH-1", "Technical Name: Hostmaster",
          "Technical Address: Hosting AG", "Technical Address: Zürich",
          "Technical Email: hostmaster@hosting.test", "Technical Fax: +41.445550199",
          "Administrative Name: Hostmaster", "Registrant Name: [redacted: Server policy]",
          "Registrant Email: [redacted]", "Remark: -", "  Registrar record. "},
         {"Registrant Name: \n", "Unicode Domain Name", "DNSSEC"}},
        {"ip-v4.json",
         {"Net Range: 192.0.2.0 - 192.0.2.255", "CIDR: 192.0.2.0/24", "Net Name: TEST-NET-1",
          "Net Handle: NET-192-0-2-0-1", "Net Type: ASSIGNMENT", "IP Version: v4", "Country: ZZ",
          "Parent: NET-192-0-0-0-0", "Status: active", "Registration Date: 2010-01-01T00:00:00Z",
          "Abuse Handle: ABUSE-1", "Abuse Email: abuse@net.test"}},
        {"ip-v6.json",
         {"Net Range: 2001:db8:: - 2001:db8:ffff:ffff:ffff:ffff:ffff:ffff", "CIDR: 2001:db8::/32",
          "Net Name: DOCUMENTATION", "Remark: Documentation prefix", "  Not routed."}},
        {"autnum.json",
         {"AS Range: AS64496 - AS64511", "AS Name: DOC-AS-BLOCK", "AS Handle: AS64496",
          "AS Type: DIRECT ALLOCATION", "Registrant Name: Documentation Networks"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::string text = "\n" + RenderRdap(Fixture(c.fixture));
        std::size_t at = 0;
        for (const auto& line : c.lines) {
            const auto found = text.find("\n" + line + "\n", at);
            EXPECT_NE(found, std::string::npos) << line << "\n" << text;
            if (found != std::string::npos) at = found + 1;
        }
        for (const auto& line : c.absent)
            EXPECT_EQ(text.find(line), std::string::npos) << line;
    }
}

TEST(RdapRender, RangesBecomeTheFewestCidrBlocks) {
    const std::pair<const char*, const char*> ranges[] = {
        {R"("192.0.2.0","endAddress":"192.0.3.255")", "CIDR: 192.0.2.0/23\n"},
        {R"("192.0.2.1","endAddress":"192.0.2.6")",
         "CIDR: 192.0.2.1/32, 192.0.2.2/31, 192.0.2.4/31, 192.0.2.6/32\n"},
        {R"("0.0.0.0","endAddress":"255.255.255.255")", "CIDR: 0.0.0.0/0\n"},
        {R"("::","endAddress":"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff")", "CIDR: ::/0\n"},
        {R"("10.0.0.9","endAddress":"10.0.0.1")", ""},
        {R"("10.0.0.0","endAddress":"::1")", ""},
    };
    for (const auto& [range, cidr] : ranges) {
        const auto text = RenderRdap(
            std::string(R"({"objectClassName":"ip network","startAddress":)") + range + "}");
        const auto line = text.find("CIDR:");
        EXPECT_EQ(line == std::string::npos ? ""
                                            : text.substr(line, text.find('\n', line) - line + 1),
                  cidr)
            << range;
    }
}

// Whatever a server sends, the renderer neither crashes nor loops, and says nothing of
// what is not there.
TEST(RdapRender, HostileJsonIsPassedOver) {
    std::string deepEntities = "{}";
    for (int i = 0; i < 30; ++i)
        deepEntities = R"({"roles":["x"],"handle":"h","entities":[)" + deepEntities + "]}";
    deepEntities = R"({"objectClassName":"entity","entities":[)" + deepEntities + "]}";
    const std::string hostile[] = {
        "",
        "[]",
        "\"domain\"",
        R"({"objectClassName":5})",
        R"({"objectClassName":"domain","ldhName":["a"],"entities":{"roles":1},"events":7,
            "nameservers":[1,null,{"ldhName":{}}],"secureDNS":[],"status":"active",
            "notices":[1,{"description":"x","links":[2]}],"redacted":[{"name":3}]})",
        R"({"objectClassName":"domain","entities":[{"roles":["registrar"],"vcardArray":["vcard",
            [[],["fn"],["fn",{},"text"],["adr",{"label":7},"text",[1,2]],["tel",{"type":9},"uri",3],
             ["adr",{},"text",[[1],[],{},null,"","",""]]]],"publicIds":[{"type":"IANA Registrar ID"}],
            "entities":[{"roles":["abuse"],"vcardArray":"vcard"}]}]})",
        R"({"objectClassName":"autnum","startAutnum":-1,"endAutnum":"9"})",
        R"({"objectClassName":"ip network","startAddress":"999.1.1.1","endAddress":5,
            "cidr0_cidrs":[{"v4prefix":"1.2.3.0"},{"length":8},7]})",
        R"({"objectClassName":"nameserver","ipAddresses":{"v4":"1.2.3.4","v6":[5]}})",
        deepEntities,
        std::string(100000, '['),
    };
    for (const auto& json : hostile) {
        const auto text = RenderRdap(json);
        EXPECT_EQ(text.find(": \n"), std::string::npos) << json.substr(0, 200) << "\n" << text;
        EXPECT_LT(text.size(), 4000u) << json.substr(0, 200);
    }
    EXPECT_EQ(RenderRdap(std::string(100000, '[')), "");
    EXPECT_EQ(RenderRdap("[]"), "");
}

TEST(RdapRender, PrettyJsonKeepsEveryTokenAsWritten) {
    EXPECT_EQ(PrettyRdapJson(R"( {"a" :[1.50e3, "x\"}{ \u00e9",{},[] ,true],"b":{"c":null}} )"),
              "{\n  \"a\": [\n    1.50e3,\n    \"x\\\"}{ \\u00e9\",\n    {},\n    [],\n    true\n"
              "  ],\n  \"b\": {\n    \"c\": null\n  }\n}");
    for (const std::string& bad :
         {std::string("{\"a\":"), std::string(100000, '[') + "1" + std::string(100000, ']')})
        EXPECT_EQ(PrettyRdapJson(bad), bad);
    // Laid out again, a laid-out answer stays as it is.
    const auto once = PrettyRdapJson(Fixture("domain-registry.json"));
    EXPECT_EQ(PrettyRdapJson(once), once);
}

} // namespace
} // namespace tesseron::test
