#include "query/AbortHandle.h"
#include "query/AddressTools.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

TEST(AddressTools, IsIPAddress) {
    const std::pair<const char*, bool> cases[] = {
        {"192.168.0.1", true},  {"192.168.0", false},      {"1.2.3.4.5", false},
        {"256.1.1.1", false},   {"1..2.3", false},         {"001.002.003.004", true},
        {"0.0.0.0", true},      {"255.255.255.255", true}, {"-1.2.3.4", false},
        {"+1.2.3.4", true},     {"0x10.1.1.1", true},      {"a.b.c.d", false},
        {" 1.2.3.4", false},    {"1.2.3.4 ", false},       {"", false},
        {"example.com", false}, {"1.2.3.", false},         {"1.2.3.4.", false},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(IsIPAddress(text), expected) << text;
}

TEST(AddressTools, SplitServerAddress) {
    struct Case {
        const char* text;
        const char* host;
        int port;
        const char* scheme = "";
    };
    const Case cases[] = {
        {"whois.example.net", "whois.example.net", 43},
        {"whois.example.net:4343", "whois.example.net", 4343},
        {"whois://whois.example.net", "whois.example.net", 43, "whois"},
        {"rwhois://rwhois.example.net:4321/path/x", "rwhois.example.net", 4321, "rwhois"},
        {"host:abc", "host", 43},
        {"host:", "host", 43},
        {"127.0.0.1:0x2b", "127.0.0.1", 43},
        {" host", " host", 43},
        {"", "", 43},
        {"a://b://c", "b", 43, "a"},
        {"HTTPS://rdap.example/domain/", "rdap.example", 43, "https"},
        {"://host:44", "host", 44},
        {"  Whois://h", "h", 43, "whois"},
    };
    for (const auto& c : cases) {
        const auto s = SplitServerAddress(c.text);
        EXPECT_EQ(s.host, c.host) << c.text;
        EXPECT_EQ(s.port, c.port) << c.text;
        EXPECT_EQ(s.scheme, c.scheme) << c.text;
    }
}

TEST(AddressTools, FindReferralTakesTheFirstMatchingLineLowerCased) {
    struct Case {
        const char* answer;
        const char* key;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {"Domain: X\r\nWhois Server: WHOIS.Registrar.Example\r\n",
         "Whois Server:", "whois.registrar.example"},
        {"   Registrar WHOIS Server: whois.r.example\n", "Whois Server:", "whois.r.example"},
        {"whois server:  two.example\n", "Whois Server:", " two.example"},
        {"ReferralServer: whois://Whois.RIPE.net\n", "ReferralServer:", "whois://whois.ripe.net"},
        {"referralserver:\trwhois://r.example:4321/\r",
         "ReferralServer:", "rwhois://r.example:4321/"},
        {"Whois Server: first\nWhois Server: second\n", "Whois Server:", "first"},
        {"Whois Server:\n", "Whois Server:", ""},
        {"Whois Server: x", "Whois Server:", "x"},
        {"no referral here\r\n\r\n", "Whois Server:", std::nullopt},
        {"Whois\r\nServer: split\r\n", "Whois Server:", std::nullopt},
        // Trailing blanks and control characters would spoil the port.
        {"Whois Server: 127.0.0.1:4343  \r\n", "Whois Server:", "127.0.0.1:4343"},
        {"Whois Server: h:4343 \t\x7f\x01", "Whois Server:", "h:4343"},
        {"Whois Server:    \n", "Whois Server:", ""},
        // The key's last character occurs before the key and overlapping it.
        {"a: b\nWHOIS SERVER:: x:\n", "Whois Server:", " x:"},
        {"whois server whois server: y\n", "Whois Server:", "y"},
        {"", "Whois Server:", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindReferral(c.answer, c.key), c.value) << c.answer;
    EXPECT_EQ(ReferralKey("192.0.2.1"), "ReferralServer:");
    EXPECT_EQ(ReferralKey("example.com"), "Whois Server:");
}

// The key at every place against the 16-byte blocks the scan reads, after lines whose
// endings look like the key's ("Server:", "r:") but are not it.
TEST(AddressTools, FindReferralAtAnyOffsetOfALongAnswer) {
    const std::string decoys = "Name Server: ns.example\nOwner:x\nRegistrar:\n";
    for (std::size_t pad = 0; pad < 48; ++pad) {
        const std::string head = decoys + std::string(pad, 'a') + "\n";
        const std::string answer = head + "wHoIs SeRvEr: Host.Example:4343 \r\n" + decoys;
        EXPECT_EQ(FindReferral(answer, "Whois Server:"), "host.example:4343") << pad;
        EXPECT_EQ(FindReferral(head + decoys, "Whois Server:"), std::nullopt) << pad;
        // The key cut off by the end of the answer is no key.
        EXPECT_EQ(FindReferral(head + "Whois Server", "Whois Server:"), std::nullopt) << pad;
    }
}

TEST(AddressTools, FilterURLAndStripWww) {
    struct Case {
        const char* text;
        bool smart;
        const char* filtered;
        const char* stripped; // StripWww of the filtered text
    };
    const Case cases[] = {
        {"https://www.example.com:8080/a/b?c", true, "www.example.com", "example.com"},
        {"  example.com\t\r\n", true, "example.com", "example.com"},
        {"user:pw@host.example", true, "user", "user"},
        {"WWW.example.com", true, "WWW.example.com", "WWW.example.com"},
        {"https://www.example.com/x", false, "https://www.example.com/x",
         "https://www.example.com/x"},
        {"www.example.com", false, "www.example.com", "www.example.com"},
        {"   ", true, "", ""},
        {"example.com/", true, "example.com", "example.com"},
    };
    for (const auto& c : cases) {
        const auto filtered = FilterURL(c.text, c.smart);
        EXPECT_EQ(filtered, c.filtered) << c.text;
        EXPECT_EQ(StripWww(filtered, c.smart), c.stripped) << c.text;
    }
}

TEST(AddressTools, HistoryKeepsOneCopyAtTheTop) {
    std::vector<std::string> h{"b.example", "a.example", "B.example", "a.example"};
    AddToHistory(h, "a.example", 8);
    EXPECT_EQ(h, (std::vector<std::string>{"a.example", "b.example", "B.example"}));
    AddToHistory(h, "c.example", 2);
    EXPECT_EQ(h, (std::vector<std::string>{"c.example", "a.example"}));
    AddToHistory(h, "", 1);
    EXPECT_EQ(h, (std::vector<std::string>{""}));
}

TEST(AddressTools, QueryEnabledRule) {
    EXPECT_TRUE(IsQueryEnabled(" ", "", true));
    EXPECT_FALSE(IsQueryEnabled("", "whois.example", true));
    EXPECT_FALSE(IsQueryEnabled("example.com", "", false));
    EXPECT_TRUE(IsQueryEnabled("example.com", "whois.example", false));
}

TEST(AddressTools, ControlCharactersAreFoundAndShown) {
    const std::pair<std::string, std::string> shown[] = {
        {"a.test\r\nb.test", "a.test\\r\\nb.test"},
        {"a\tb", "a\\tb"},
        {std::string("a\0b\x1b\x7f", 5), "a\\x00b\\x1b\\x7f"},
    };
    for (const auto& [text, visible] : shown) {
        EXPECT_TRUE(HasControlCharacter(text)) << visible;
        EXPECT_EQ(ShowControlCharacters(text), visible);
    }
    for (const char* plain : {"example.com",
                              "b\xfc"
                              "cher.de",
                              " -T dn x", ""}) {
        EXPECT_FALSE(HasControlCharacter(plain)) << plain;
        EXPECT_EQ(ShowControlCharacters(plain), plain);
    }
}

TEST(AddressTools, HostNameLimits) {
    const std::string label63(63, 'a');
    const std::pair<std::string, bool> cases[] = {
        {"whois.example", true},
        {label63 + ".test", true},
        {std::string(64, 'a') + ".test", false},
        {label63 + "." + label63 + "." + label63 + "." + std::string(61, 'a'), true}, // 253
        {label63 + "." + label63 + "." + label63 + "." + std::string(61, 'a') + ".", true},
        {label63 + "." + label63 + "." + label63 + "." + std::string(62, 'a'), false},
        {std::string(10000, 'n'), false},
    };
    for (const auto& [name, fits] : cases)
        EXPECT_EQ(FitsHostName(name), fits) << name.size();
}

// Other forms of an address the address test accepts are the same address to the resolver.
TEST(AddressTools, ReverseLookUpReadsAddressesAsTheAddressTestDoes) {
    const std::string canonical = ResolveReverseName("127.0.0.1");
    ASSERT_FALSE(canonical.empty());
    for (const char* text : {"127.000.000.001", "0x7f.0.0.1", "0X7F.0x0.00.+1"}) {
        ASSERT_TRUE(IsIPAddress(text)) << text;
        EXPECT_EQ(ResolveReverseName(text), canonical) << text;
    }
}

TEST(AddressTools, ResolvesOnLoopbackOnly) {
    EXPECT_EQ(ResolveAddress("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(ResolveAddress("localhost"), "127.0.0.1");
    EXPECT_EQ(ResolveAddress(std::string(256, 'a')), "");
    EXPECT_EQ(ResolveAddress(""), "");
    // A label longer than 63 characters cannot be asked, so this fails without traffic.
    EXPECT_EQ(ResolveAddress(std::string(70, 'n') + ".test"), "");
    EXPECT_FALSE(ResolveReverseName("127.0.0.1").empty());
    EXPECT_EQ(ResolveReverseName("not an address"), "");

    AbortHandle aborted;
    aborted.Abort();
    EXPECT_EQ(ResolveAddress("localhost", &aborted), "");
    EXPECT_EQ(ResolveReverseName("127.0.0.1", &aborted), "");
}

} // namespace
