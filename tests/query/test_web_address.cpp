// The address box's filter for web addresses, beside the original filter it extends.

#include "query/AddressBox.h"
#include "query/WebAddress.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

// Each text through FilterWebAddress then StripLeadingWww. `legacy` says what the original
// FilterURL/StripWww pair gives: "same" when it agrees, else its own (outdated) result.
TEST(WebAddress, FilterAsBrowsersWriteAddresses) {
    const struct {
        const char* text;
        bool smart;
        const char* filtered;
        const char* stripped;
        const char* legacy;
    } cases[] = {
        // Cases the original filter handled keep their results.
        {"https://www.example.com:8080/a/b?c", true, "www.example.com", "example.com", "same"},
        {"  example.com\t\r\n", true, "example.com", "example.com", "same"},
        {"https://www.example.com/x", false, "https://www.example.com/x",
         "https://www.example.com/x", "same"},
        {"www.example.com", false, "www.example.com", "www.example.com", "same"},
        {"   ", true, "", "", "same"},
        {"example.com/", true, "example.com", "example.com", "same"},
        {"whois://www.example.net", true, "www.example.net", "example.net", "same"},
        {"192.0.2.1", true, "192.0.2.1", "192.0.2.1", "same"},
        {" user:pw@host.example ", false, "user:pw@host.example", "user:pw@host.example", "same"},
        // What browsers write that the original filter got wrong.
        {"user:pw@host.example", true, "host.example", "host.example", "user"},
        {"https://u:p@WWW.Example.com:443/p?q=a@b#frag", true, "WWW.Example.com", "Example.com",
         "u"},
        {"WWW.example.com", true, "WWW.example.com", "example.com", "WWW.example.com"},
        {"Www.example.com", true, "Www.example.com", "example.com", "Www.example.com"},
        {"example.com?x=1", true, "example.com", "example.com", "example.com?x=1"},
        {"example.com#top", true, "example.com", "example.com", "example.com#top"},
        {"example.com.", true, "example.com", "example.com", "example.com."},
        {"http://example.com.:80/", true, "example.com", "example.com", "example.com."},
        {"http://[2001:db8::1]:8080/", true, "2001:db8::1", "2001:db8::1", "[2001"},
        {"[2001:db8::1]", true, "2001:db8::1", "2001:db8::1", "[2001"},
        {"2001:db8::1", true, "2001:db8::1", "2001:db8::1", "2001"},
        {"http://2001:db8::1/", true, "2001:db8::1", "2001:db8::1", "2001"},
        {"192.0.2.0/24", true, "192.0.2.0/24", "192.0.2.0/24", "192.0.2.0"},
        {"2001:db8::/32", true, "2001:db8::/32", "2001:db8::/32", "2001"},
        {"AS 15169", true, "AS 15169", "AS 15169", "same"},
        {"http://пример.рф/путь", true, "пример.рф", "пример.рф", "same"},
        {"example.com.", false, "example.com.", "example.com.", "same"},
    };
    for (const auto& c : cases) {
        const auto filtered = FilterWebAddress(c.text, c.smart);
        EXPECT_EQ(filtered, c.filtered) << c.text;
        EXPECT_EQ(StripLeadingWww(filtered, c.smart), c.stripped) << c.text;
        const auto legacy = StripWww(FilterURL(c.text, c.smart), c.smart);
        EXPECT_EQ(legacy, std::string(c.legacy) == "same" ? c.stripped : c.legacy) << c.text;
    }
}

} // namespace
