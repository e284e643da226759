// An RDAP question through a real SOCKS 5 proxy that asks for a user name and password.
#include "query/RdapTransport.h"
#include "serverdb/HttpTestServer.h" // kLoopbackDirect: no proxy of the environment
#include "support/Daemons.h"
#include "support/ScriptedHttpServer.h"

#include <gtest/gtest.h>

namespace tesseron::test {
namespace {

TEST(RdapThroughSocks, AsksThroughTheProxyWithItsPassword) {
    MicrosocksDaemon proxy("rdap-user", "s3cret");
    ScriptedHttpServer server({{"/autnum/64500", {{200, R"({"objectClassName":"autnum"})"}}}});
    for (const char* password : {"s3cret", "wrong"}) {
        SCOPED_TRACE(password);
        RdapOptions options;
        options.proxy = {3, "127.0.0.1", proxy.port(), 1, "rdap-user", password};
        options.limits.totalTimeoutMs = 5000;
        RdapTransport transport(options);
        const bool right = std::string_view(password) == "s3cret";
        try {
            EXPECT_EQ(transport.Ask(SplitServerAddress(server.Url("/")), {"AS64500", ""}),
                      R"({"objectClassName":"autnum"})");
            EXPECT_TRUE(right);
        } catch (const TransportError& e) {
            EXPECT_FALSE(right) << e.what();
            EXPECT_EQ(e.kind(), TransportFailure::Failed);
        }
    }
    EXPECT_EQ(server.Requests().size(), 1u);
}

} // namespace
} // namespace tesseron::test
