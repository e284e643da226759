// Where a connection goes: IPv4 and IPv6 loopback, each address of a list in turn, the
// connect-to map before any look-up, and IPv6 through SOCKS.

#include "query/ConnectTo.h"
#include "query/Referral.h"
#include "query/Socket.h"
#include "query/WhoisExchange.h"
#include "support/ExchangeHelpers.h"
#include "support/FakeServer.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace tesseron::test {
namespace {

// A label over 63 bytes never reaches the resolver: unmapped, the exchange refuses it
// before anything happens, so an exchange that succeeds with it was sent by the map.
const std::string kUnresolvable = std::string(64, 'u') + ".whois.invalid";

TEST(Connect, ReachesEitherLoopbackByLiteralOrThroughTheMap) {
    struct Case {
        const char* name;
        ListenOn at;
        std::string server; // PORT stands for the fake's port
        std::string mapTo;  // "": no map; else the map sends the server's host there
        bool anyPort = false;
    };
    const Case cases[] = {
        {"IPv4 literal", ListenOn::V4, "127.0.0.1:PORT", ""},
        {"name mapped to IPv4", ListenOn::V4, "whois.arin.invalid", "127.0.0.1"},
        // The IPv6 rows last: without ::1 they are skipped.
        {"IPv6 literal in brackets", ListenOn::V6, "[::1]:PORT", ""},
        {"name mapped to IPv6", ListenOn::V6, "whois.arin.invalid:43", "::1"},
        {"unresolvable name mapped on any port", ListenOn::V6, kUnresolvable + ":4343", "::1",
         true},
    };
    // The map matches its port: another port of the same name is not redirected.
    WhoisClient otherPort({}, Limits(), nullptr, {{kUnresolvable, 43, "127.0.0.1", 1}});
    try {
        otherPort.WhoisExchange(kUnresolvable, 44, "x");
        FAIL() << "the exchange succeeded";
    } catch (const ExchangeError& e) {
        EXPECT_EQ(e.kind(), ExchangeFailure::Argument) << e.what();
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.at == ListenOn::V6 && !HaveIPv6Loopback()) GTEST_SKIP() << "no ::1 here";
        FakeWhoisServer server({}, WhoisBehaviour::Answer("answer\n"), c.at);
        std::string text = c.server;
        if (auto p = text.find("PORT"); p != text.npos)
            text.replace(p, 4, std::to_string(server.port()));
        const ServerAddress address = SplitServerAddress(text);
        ConnectToMap map;
        if (!c.mapTo.empty())
            map.push_back({address.host, c.anyPort ? 0 : address.port, c.mapTo, server.port()});
        WhoisClient client({}, Limits(), nullptr, map);
        EXPECT_EQ(client.WhoisExchange(address.host, address.port, "example.com"), "answer\n");
        EXPECT_EQ(server.Queries(), std::vector<std::string>{"example.com"});
    }
}

TEST(Connect, LiteralsAreTakenWithoutTheResolver) {
    const std::pair<const char*, const char*> cases[] = {
        {"192.0.2.1", "192.0.2.1:43"},
        {"2001:db8::43", "[2001:db8::43]:43"},
        {"::ffff:192.0.2.1", "[::ffff:192.0.2.1]:43"},
    };
    for (const auto& [literal, text] : cases) {
        const auto r = ResolveAll(literal, 43, -1);
        ASSERT_EQ(r.status, ResolveStatus::Ok) << literal;
        ASSERT_EQ(r.addresses.size(), 1u) << literal;
        EXPECT_EQ(AddressText(r.addresses[0]), text);
    }
    EXPECT_FALSE(LiteralAddress("[::1]", 43)); // brackets belong to the server text
    EXPECT_FALSE(LiteralAddress("host.invalid", 43));
}

// A name with two addresses, the first refusing: the second answers. A connect-to entry
// gives one address only, so the list is handed to the connect step itself.
TEST(Connect, TriesEachAddressInTurnAndReportsTheLast) {
    if (!HaveIPv6Loopback()) GTEST_SKIP() << "no ::1 here";
    RefusingPort refusing;
    FakeWhoisServer open({}, WhoisBehaviour::Close(), ListenOn::V6);
    const auto closed = *LiteralAddress("127.0.0.1", static_cast<uint16_t>(refusing.port()));
    const auto v6 = *LiteralAddress("::1", static_cast<uint16_t>(open.port()));
    struct Case {
        std::vector<NetAddress> list;
        IoStatus status;
        std::size_t index;
        int error = 0;
    };
    const Case cases[] = {
        {{closed, v6}, IoStatus::Ok, 1},
        {{v6, closed}, IoStatus::Ok, 0},
        {{closed, closed}, IoStatus::Error, 1, ECONNREFUSED},
        {{}, IoStatus::Error, 0, EADDRNOTAVAIL},
    };
    for (const Case& c : cases) {
        Socket s;
        const ConnectAnyResult r = ConnectAny(c.list, 3000, 5000, -1, s);
        EXPECT_EQ(r.io.status, c.status);
        EXPECT_EQ(r.index, c.index);
        EXPECT_EQ(r.io.error, c.error);
        EXPECT_EQ(static_cast<bool>(s), c.status == IoStatus::Ok);
    }
}

// What a proxy is asked for a server: an IPv6 literal as its 16 bytes (SOCKS 5), or a
// clear refusal before anything is sent (SOCKS 4); the map's target is what is handed on.
TEST(Connect, IPv6TargetsThroughSocks) {
    const std::string v6Bytes =
        Bytes({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x43});
    const std::string loopback6 = Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    struct Case {
        const char* name;
        uint8_t version;
        std::string host;
        ConnectToMap map;
        std::string request; // the proxy's last phase; "": refused before connecting
    };
    const Case cases[] = {
        {"SOCKS 5, IPv6 literal",
         3,
         "2001:db8::43",
         {},
         Bytes({5, 1, 0, 4}) + v6Bytes + Bytes({0, 43})},
        {"SOCKS 5, name mapped to ::1",
         3,
         "whois.arin.invalid",
         {{"whois.arin.invalid", 43, "::1", 4343}},
         Bytes({5, 1, 0, 4}) + loopback6 + Bytes({0x10, 0xf7})},
        {"SOCKS 5, name mapped to a name",
         3,
         kUnresolvable,
         {{kUnresolvable, 0, "m.invalid", 0}},
         Bytes({5, 1, 0, 3, 9}) + "m.invalid" + Bytes({0, 43})},
        {"SOCKS 4A, IPv6 literal as a name",
         2,
         "2001:db8::43",
         {},
         Bytes({4, 1, 0, 43, 0, 0, 0, 1, 0}) + "2001:db8::43" + Bytes({0})},
        {"SOCKS 4, IPv6 literal", 1, "2001:db8::43", {}, ""},
        {"SOCKS 4, name mapped to IPv6",
         1,
         "whois.arin.invalid",
         {{"whois.arin.invalid", 0, "::1", 0}},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWhoisServer whois(WhoisBehaviour::Answer("relayed\n"));
        FakeSocksProxy proxy(c.version == 3 ? SocksScript::Socks5Granted(whois.port(), false)
                                            : SocksScript::Socks4Granted(whois.port()));
        WhoisClient client({c.version, "127.0.0.1", proxy.port(), 0, {}, {}}, Limits(), nullptr,
                           c.map);
        if (c.request.empty()) {
            try {
                client.WhoisExchange(c.host, 43, "example.com");
                ADD_FAILURE() << "the exchange succeeded";
            } catch (const ExchangeError& e) {
                EXPECT_EQ(e.kind(), ExchangeFailure::Argument) << e.what();
                EXPECT_NE(std::string(e.what()).find("SOCKS 4 cannot carry"), std::string::npos);
            }
            EXPECT_EQ(proxy.Connections(), 0);
            continue;
        }
        EXPECT_EQ(client.WhoisExchange(c.host, 43, "example.com"), "relayed\n");
        ASSERT_EQ(proxy.Requests().size(), 1u);
        EXPECT_EQ(proxy.Requests()[0].back(), c.request);
    }
}

TEST(Connect, ParsesTheEnvironmentsList) {
    const auto list = ParseConnectToList(" a.invalid:43:127.0.0.1:4343,b.invalid::[::1]:\tbad ,");
    ASSERT_EQ(list.map.size(), 2u);
    EXPECT_EQ(list.map[0].toPort, 4343);
    EXPECT_EQ(list.map[1].host, "b.invalid");
    EXPECT_EQ(list.map[1].port, 0);
    EXPECT_EQ(list.map[1].toHost, "::1");
    EXPECT_EQ(list.rejected, std::vector<std::string>{"bad"});
}

} // namespace
} // namespace tesseron::test
