// What a typed text names, its canonical form, and its IDN conversion both ways.

#include "query/IdnName.h"
#include "query/QueryText.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

TEST(QueryText, KindAndCanonicalForm) {
    using K = QueryKind;
    const struct {
        const char* text;
        K kind;
        const char* canonical;
    } cases[] = {
        {"  \t", K::Empty, ""},
        {" example.com ", K::Name, "example.com"},
        {"Example.COM", K::Name, "Example.COM"},
        {"192.0.2.1", K::IPv4Address, "192.0.2.1"},
        {"001.002.003.004", K::IPv4Address, "1.2.3.4"},
        {"0x7f.0.0.1", K::IPv4Address, "127.0.0.1"},
        {"256.1.1.1", K::Name, "256.1.1.1"},
        {"2001:db8::1", K::IPv6Address, "2001:db8::1"},
        {"[2001:DB8:0:0::1]", K::IPv6Address, "2001:db8::1"},
        {"::ffff:192.0.2.1", K::IPv6Address, "::ffff:192.0.2.1"},
        {"[2001:db8::1", K::Name, "[2001:db8::1"},
        {"2001:db8::1::2", K::Name, "2001:db8::1::2"},
        {"AS15169", K::ASNumber, "AS15169"},
        {"aS 015169", K::ASNumber, "AS15169"},
        {"AS\t0", K::ASNumber, "AS0"},
        {"AS4294967295", K::ASNumber, "AS4294967295"},
        {"AS4294967296", K::Name, "AS4294967296"},
        {"AS", K::Name, "AS"},
        {"AS-15169", K::Name, "AS-15169"},
        {"as15169.net", K::Name, "as15169.net"},
        {"15169", K::Name, "15169"},
        {"192.0.2.0/24", K::IPv4Network, "192.0.2.0/24"},
        {"192.0.2.77/24", K::IPv4Network, "192.0.2.0/24"},
        {"10.1.2.3/0", K::IPv4Network, "0.0.0.0/0"},
        {"192.0.2.0/33", K::Name, "192.0.2.0/33"},
        {"192.0.2.0/+8", K::Name, "192.0.2.0/+8"},
        {"2001:DB8::/32", K::IPv6Network, "2001:db8::/32"},
        {"2001:db8:ffff::/33", K::IPv6Network, "2001:db8:8000::/33"},
        {"[2001:db8::]/48", K::IPv6Network, "2001:db8::/48"},
        {"2001:db8::/129", K::Name, "2001:db8::/129"},
        {"example.com/24", K::Name, "example.com/24"},
    };
    for (const auto& c : cases) {
        const auto q = ClassifyQuery(c.text);
        EXPECT_EQ(q.kind, c.kind) << c.text;
        EXPECT_EQ(q.canonical, c.canonical) << c.text;
    }
}

TEST(QueryText, NumbersAndAddressBytes) {
    const auto as = ClassifyQuery("AS 4200000000");
    EXPECT_EQ(as.asNumber, 4200000000u);
    const auto net = ClassifyQuery("198.51.100.9/23");
    EXPECT_EQ(net.prefixLength, 23);
    EXPECT_EQ((std::array<int, 4>{net.address[0], net.address[1], net.address[2], net.address[3]}),
              (std::array<int, 4>{198, 51, 100, 0}));
    const auto v6 = ClassifyQuery("[::1]");
    EXPECT_EQ(v6.prefixLength, 128);
    EXPECT_EQ(v6.address[15], 1);
    EXPECT_TRUE(ClassifyQuery("bücher.de").nonAscii);
    EXPECT_FALSE(ClassifyQuery("xn--bcher-kva.de").nonAscii);
}

TEST(IdnName, TypedNamesBecomeALabels) {
    const std::pair<const char*, const char*> converted[] = {
        {"пример.рф", "xn--e1afmkfd.xn--p1ai"},
        {"bücher.de", "xn--bcher-kva.de"},
        {"Bücher.DE", "xn--bcher-kva.de"},
        {"faß.de", "xn--fa-hia.de"}, // non-transitional: ß is not folded to "ss"
        {"公司.cn", "xn--55qx5d.cn"},
        {"bu\xcc\x88"
         "cher.de",
         "xn--bcher-kva.de"}, // decomposed ü, normalised first
        // ASCII goes through untouched, A-labels and IDNA-invalid texts included.
        {"xn--e1afmkfd.xn--p1ai", "xn--e1afmkfd.xn--p1ai"},
        {"XN--BCHER-KVA.de", "XN--BCHER-KVA.de"},
        {"ab--cd.example", "ab--cd.example"},
        {"-T dn example.com", "-T dn example.com"},
    };
    for (const auto& [typed, aLabels] : converted) {
        const auto r = ToLookupName(typed);
        EXPECT_TRUE(r.ok()) << typed << ": " << r.error;
        EXPECT_EQ(r.name, aLabels) << typed;
    }
    for (const char* invalid : {"-bücher.de", "ab--cü.de", "\xff\xfe.de",
                                "a\xe2\x80\x8d"
                                "bü.de"}) {
        const auto r = ToLookupName(invalid);
        EXPECT_FALSE(r.ok()) << invalid;
        EXPECT_TRUE(r.name.empty()) << invalid;
    }
    EXPECT_EQ(ToLookupName("-bücher.de").error, "string start/ends with forbidden hyphen");
}

TEST(IdnName, ALabelsShownInUnicode) {
    const std::pair<const char*, const char*> shown[] = {
        {"xn--e1afmkfd.xn--p1ai", "пример.рф"},
        {"xn--bcher-kva.de", "bücher.de"},
        {"xn--fa-hia.de", "faß.de"},
        {"example.com", "example.com"},
    };
    for (const auto& [aLabels, unicode] : shown)
        EXPECT_EQ(ToDisplayName(aLabels).name, unicode) << aLabels;
    const auto bad = ToDisplayName("xn--zz.example");
    EXPECT_FALSE(bad.ok());
    EXPECT_EQ(bad.name, "xn--zz.example");
}

} // namespace
