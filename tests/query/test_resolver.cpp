#include "query/AbortHandle.h"
#include "query/AddressBox.h"
#include "query/Resolver.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

// Other forms of an address the address test accepts are the same address to the resolver.
TEST(Resolver, ReverseLookUpReadsAddressesAsTheAddressTestDoes) {
    const std::string canonical = ResolveReverseName("127.0.0.1");
    ASSERT_FALSE(canonical.empty());
    for (const char* text : {"127.000.000.001", "0x7f.0.0.1", "0X7F.0x0.00.+1"}) {
        ASSERT_TRUE(IsIPAddress(text)) << text;
        EXPECT_EQ(ResolveReverseName(text), canonical) << text;
    }
}

TEST(Resolver, ResolvesOnLoopbackOnly) {
    EXPECT_EQ(ResolveAddress("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(ResolveAddress("localhost"), "127.0.0.1");
    EXPECT_EQ(ResolveAddress(std::string(256, 'a')), "");
    EXPECT_EQ(ResolveAddress(""), "");
    // A label longer than 63 characters cannot be asked, so this fails without traffic.
    EXPECT_EQ(ResolveAddress(std::string(70, 'n') + ".test"), "");
    EXPECT_FALSE(ResolveReverseName("127.0.0.1").empty());
    EXPECT_EQ(ResolveReverseName("not an address"), "");
    // IPv6 literals are read, bracketed or not; the host may or may not name ::1.
    EXPECT_EQ(ResolveReverseName("[::1]"), ResolveReverseName("::1"));
    for (const char* bad : {"::1::2", "[::1", "::g", "[]"})
        EXPECT_EQ(ResolveReverseName(bad), "") << bad;

    AbortHandle aborted;
    aborted.Abort();
    EXPECT_EQ(ResolveAddress("localhost", &aborted), "");
    EXPECT_EQ(ResolveReverseName("127.0.0.1", &aborted), "");
    EXPECT_EQ(ResolveReverseName("::1", &aborted), "");
}

} // namespace
