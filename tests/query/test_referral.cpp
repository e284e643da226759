#include "query/Referral.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

TEST(Referral, SplitServerAddress) {
    struct Case {
        const char* text;
        const char* host;
        int port;
        const char* scheme = "";
        const char* path = "";
    };
    const Case cases[] = {
        {"whois.example.net", "whois.example.net", 43},
        {"whois.example.net:4343", "whois.example.net", 4343},
        {"whois://whois.example.net", "whois.example.net", 43, "whois"},
        {"rwhois://rwhois.example.net:4321/path/x", "rwhois.example.net", 4321, "rwhois",
         "/path/x"},
        {"host:abc", "host", 43},
        {"host:", "host", 43},
        {"127.0.0.1:0x2b", "127.0.0.1", 43},
        {" host", " host", 43},
        {"", "", 43},
        {"a://b://c", "b", 43, "a", "//c"},
        {"HTTPS://rdap.example/domain/", "rdap.example", 43, "https", "/domain/"},
        {"://host:44", "host", 44},
        {"  Whois://h", "h", 43, "whois"},
        {"[2001:db8::43]:4343", "2001:db8::43", 4343},
        {"[2001:db8::43]", "2001:db8::43", 43},
        {"2001:db8::43", "2001:db8::43", 43},
        {"whois://[::1]:4343/path", "::1", 4343, "whois", "/path"},
        {"rwhois://2001:db8::43/", "2001:db8::43", 43, "rwhois", "/"},
        {"[::1]x", "::1", 43},
    };
    for (const auto& c : cases) {
        const auto s = SplitServerAddress(c.text);
        EXPECT_EQ(s.host, c.host) << c.text;
        EXPECT_EQ(s.port, c.port) << c.text;
        EXPECT_EQ(s.scheme, c.scheme) << c.text;
        EXPECT_EQ(s.path, c.path) << c.text;
    }
}

TEST(Referral, FindReferralTakesTheFirstMatchingLineLowerCased) {
    struct Case {
        std::string answer;
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
        // A value longer than any server address is cut, not copied whole.
        {"Whois Server: " + std::string(100000, 'A') + "\n",
         "Whois Server:", std::string(1024, 'a')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindReferral(c.answer, c.key), c.value) << c.answer;
    EXPECT_EQ(ReferralKey(ClassifyQuery("192.0.2.1").kind), "ReferralServer:");
    EXPECT_EQ(ReferralKey(ClassifyQuery("example.com").kind), "Whois Server:");
    for (const char* number : {"2001:db8::1", "AS15169", "192.0.2.0/24", "2001:db8::/32"})
        EXPECT_EQ(ReferralKey(ClassifyQuery(number).kind), "ReferralServer:") << number;
}

// The key at every place against the 16-byte blocks the scan reads, after lines whose
// endings look like the key's ("Server:", "r:") but are not it.
TEST(Referral, FindReferralAtAnyOffsetOfALongAnswer) {
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

} // namespace
