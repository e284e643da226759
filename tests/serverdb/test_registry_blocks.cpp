// The number registries' block tables: most specific block, https first, which registry,
// and faulty files refused with a reason.

#include "serverdb/RegistryBlocks.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

using Table = RegistryBlocks::Table;

std::array<std::uint8_t, 4> V4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return {a, b, c, d};
}

std::string Url(const std::optional<RegistryMatch>& m) {
    return m ? m->rdapUrls.front() : "none";
}

// Nested blocks listed outer after inner and in separate services: the innermost block
// holding the whole range answers.
TEST(RegistryBlocks, MostSpecificBlockHoldingTheWholeRange) {
    RegistryBlocks b;
    ASSERT_EQ(b.Load(Table::IPv4, R"({"services": [
        [["10.1.2.0/24"], ["https://c.example/"]],
        [["10.0.0.0/8", "12.0.0.0/8"], ["http://a.example/", "https://a.example/"]],
        [["10.1.0.0/16"], ["https://b.example/"]],
        [["11.0.0.0/8"], ["http://d.example/"]]]})"),
              "");
    const struct {
        std::array<std::uint8_t, 4> address;
        int prefix;
        const char* url;
    } cases[] = {
        {V4(10, 1, 2, 3), 32, "https://c.example/"},
        {V4(10, 1, 2, 0), 24, "https://c.example/"},
        {V4(10, 1, 2, 0), 23, "https://b.example/"},
        {V4(10, 1, 3, 255), 32, "https://b.example/"},
        {V4(10, 2, 0, 0), 32, "https://a.example/"},
        {V4(10, 255, 255, 255), 32, "https://a.example/"},
        {V4(10, 0, 0, 0), 8, "https://a.example/"},
        {V4(10, 0, 0, 0), 7, "none"},
        {V4(11, 0, 0, 1), 32, "http://d.example/"},
        {V4(12, 9, 9, 9), 32, "https://a.example/"},
        {V4(9, 255, 255, 255), 32, "none"},
        {V4(13, 0, 0, 0), 32, "none"},
        {V4(10, 1, 2, 3), 33, "none"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Url(b.FindIPv4(c.address, c.prefix)), c.url)
            << int(c.address[0]) << "." << int(c.address[1]) << "." << int(c.address[2]) << "/"
            << c.prefix;
    EXPECT_EQ(b.FindIPv4(V4(10, 0, 0, 1))->rdapUrls.size(), 2u);

    ASSERT_EQ(b.Load(Table::IPv6, R"({"services": [[["2001:4800::/23", "::/0"], ["https://x/"]],
        [["2001:4860::/32"], ["https://y/"]]]})"),
              "");
    std::array<std::uint8_t, 16> a{0x20, 0x01, 0x48, 0x60};
    EXPECT_EQ(Url(b.FindIPv6(a)), "https://y/");
    EXPECT_EQ(Url(b.FindIPv6(a, 22)), "https://x/");
    a[15] = 0xff;
    a[0] = 0xff;
    EXPECT_EQ(Url(b.FindIPv6(a)), "https://x/");

    ASSERT_EQ(b.Load(Table::Asn, R"({"services": [[["1-10", "20"], ["https://p/"]],
        [["5-6"], ["https://q/"]]]})"),
              "");
    const std::pair<std::uint32_t, const char*> asns[] = {
        {0, "none"},       {1, "https://p/"},  {5, "https://q/"}, {6, "https://q/"},
        {7, "https://p/"}, {10, "https://p/"}, {11, "none"},      {20, "https://p/"},
    };
    for (const auto& [n, url] : asns)
        EXPECT_EQ(Url(b.FindAsNumber(n)), url) << n;
}

TEST(RegistryBlocks, FaultyFilesAreRefusedAndTheOldTableKept) {
    RegistryBlocks b;
    ASSERT_EQ(b.Load(Table::IPv4, R"({"services": [[["10.0.0.0/8"], ["https://a/"]]]})"), "");
    const std::pair<Table, const char*> faulty[] = {
        {Table::IPv4, ""},
        {Table::IPv4, "{\"services\": [[[\"10.0.0.0/8\"]"},
        {Table::IPv4, R"({"version": "1.0"})"},
        {Table::IPv4, R"({"services": [[["10.0.0.0/8"]]]})"},
        {Table::IPv4, R"({"services": [[["10.0.0.0/8"], []]]})"},
        {Table::IPv4, R"({"services": [[[8], ["https://a/"]]]})"},
        {Table::IPv4, R"({"services": [["10.0.0.0/8", ["https://a/"]]]})"},
        {Table::IPv4, R"({"services": [[["10.0.0.1/8"], ["https://a/"]]]})"},
        {Table::IPv4, R"({"services": [[["10.0.0.0"], ["https://a/"]]]})"},
        {Table::IPv6, R"({"services": [[["10.0.0.0/8"], ["https://a/"]]]})"},
        {Table::IPv6, R"({"services": [[["2001:db8::1/32"], ["https://a/"]]]})"},
        {Table::Asn, R"({"services": [[["10-5"], ["https://a/"]]]})"},
        {Table::Asn, R"({"services": [[["1-4294967296"], ["https://a/"]]]})"},
        {Table::Asn, R"({"services": [[["AS1"], ["https://a/"]]]})"},
    };
    for (const auto& [table, json] : faulty)
        EXPECT_NE(b.Load(table, json), "") << json;
    EXPECT_EQ(Url(b.FindIPv4(V4(10, 0, 0, 1))), "https://a/");
    EXPECT_EQ(b.Size(Table::IPv4), 1u);
    EXPECT_EQ(b.Load(Table::IPv4, R"({"services": [[["2001:db8::/32"], ["https://a/"]]]})"),
              "service 1: \"2001:db8::/32\" is not a network of this file");

    // A folder with one file missing and one broken names both, and loads the third.
    const test::TempDir dir;
    dir.Write("ipv6.json", "{");
    dir.Write("asn.json", R"({"services": [[["1-9"], ["https://r/"]]]})");
    const auto faults = b.LoadFolder(dir.path());
    EXPECT_NE(faults.find("ipv4.json: cannot be read"), std::string::npos) << faults;
    EXPECT_NE(faults.find("ipv6.json: not valid JSON"), std::string::npos) << faults;
    EXPECT_EQ(Url(b.FindAsNumber(9)), "https://r/");
}

TEST(RegistryBlocks, RegistryFromTheBaseUrlsHost) {
    const std::pair<const char*, Rir> urls[] = {
        {"https://rdap.arin.net/registry/", Rir::Arin},
        {"https://rdap.db.ripe.net/", Rir::Ripe},
        {"https://RDAP.APNIC.NET./", Rir::Apnic},
        {"http://rdap.lacnic.net:8080/rdap/", Rir::Lacnic},
        {"https://rdap.notarin.net/", Rir::None},
        {"https://arin.net.example/", Rir::None},
        {"https://example.com/arin.net/", Rir::None},
    };
    for (const auto& [url, rir] : urls)
        EXPECT_EQ(RirOfUrl(url), rir) << url;
    EXPECT_EQ(RirWhoisServer(Rir::Lacnic), "whois.lacnic.net");
    EXPECT_EQ(RirWhoisServer(Rir::None), "");
}

// Every block of the shipped files, as the build copies them beside the programs, belongs to one of
// the five registries.
TEST(RegistryBlocks, ShippedFilesLoadAndNameAKnownRegistry) {
    RegistryBlocks b;
    ASSERT_EQ(b.LoadFolder(TESSERON_BINARY_DIR "/rdap"), "");
    EXPECT_GT(b.Size(Table::IPv4), 200u);
    EXPECT_GT(b.Size(Table::IPv6), 30u);
    EXPECT_GT(b.Size(Table::Asn), 150u);
    for (int first = 0; first < 256; ++first) {
        const auto m = b.FindIPv4(V4(static_cast<std::uint8_t>(first), 0, 0, 0), 8);
        EXPECT_TRUE(!m || m->rir != Rir::None) << first;
    }
    EXPECT_GT(b.DomainCount(), 500u);
    const auto com = b.FindDomain("www.Example.COM.");
    ASSERT_TRUE(com);
    EXPECT_EQ(com->zone, "com");
    EXPECT_EQ(com->rdapUrls.front().rfind("https://", 0), 0u);
}

// A name goes to the longest zone of dns.json that ends it, label by label.
TEST(RegistryBlocks, DomainServiceOfTheLongestMatchingZone) {
    RegistryBlocks b;
    ASSERT_EQ(b.LoadDomains(R"({"services": [
        [["example", "Test."], ["http://a.example/", "https://a.example/"]],
        [["co.example"], ["https://co.example/"]],
        [["xn--p1ai"], ["https://rf.example/"]]]})"),
              "");
    const std::pair<const char*, const char*> names[] = {
        {"a.co.example", "co.example"},
        {"co.example", "co.example"},
        {"a.b.example", "example"},
        {"aco.example", "example"},
        {"X.TEST.", "test"},
        {"xn--80a.xn--p1ai", "xn--p1ai"},
        {"example.org", "none"},
        {"co", "none"},
        {"", "none"},
        {".", "none"},
    };
    for (const auto& [name, zone] : names) {
        const auto m = b.FindDomain(name);
        EXPECT_EQ(m ? m->zone : "none", zone) << name;
    }
    EXPECT_EQ(b.FindDomain("x.example")->rdapUrls,
              (std::vector<std::string>{"https://a.example/", "http://a.example/"}));
    // A faulty file names its fault and keeps the zones read before.
    for (const char* faulty :
         {"{", R"({"services": [[["a"]]]})", R"({"services": [[[1], ["https://x/"]]]})",
          R"({"services": [[["a"], []]]})"})
        EXPECT_NE(b.LoadDomains(faulty), "") << faulty;
    EXPECT_EQ(b.DomainCount(), 4u);
}

} // namespace
