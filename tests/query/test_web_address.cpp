// The address box's filter for web addresses.

#include "query/WebAddress.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

// Each text through FilterWebAddress then StripLeadingWww.
TEST(WebAddress, FilterAsBrowsersWriteAddresses) {
    const struct {
        const char* text;
        bool smart;
        const char* filtered;
        const char* stripped;
    } cases[] = {
        // Scheme, port and path go; with the filter off only blanks do.
        {"https://www.example.com:8080/a/b?c", true, "www.example.com", "example.com"},
        {"  example.com\t\r\n", true, "example.com", "example.com"},
        {"https://www.example.com/x", false, "https://www.example.com/x",
         "https://www.example.com/x"},
        {"www.example.com", false, "www.example.com", "www.example.com"},
        {"   ", true, "", ""},
        {"example.com/", true, "example.com", "example.com"},
        {"whois://www.example.net", true, "www.example.net", "example.net"},
        {"192.0.2.1", true, "192.0.2.1", "192.0.2.1"},
        {" user:pw@host.example ", false, "user:pw@host.example", "user:pw@host.example"},
        // What browsers write: user information, any letter case of "www.", a query, a
        // fragment, a trailing dot, IPv6 literals; networks stay whole.
        {"user:pw@host.example", true, "host.example", "host.example"},
        {"https://u:p@WWW.Example.com:443/p?q=a@b#frag", true, "WWW.Example.com", "Example.com"},
        {"WWW.example.com", true, "WWW.example.com", "example.com"},
        {"Www.example.com", true, "Www.example.com", "example.com"},
        {"example.com?x=1", true, "example.com", "example.com"},
        {"example.com#top", true, "example.com", "example.com"},
        {"example.com.", true, "example.com", "example.com"},
        {"http://example.com.:80/", true, "example.com", "example.com"},
        {"http://[2001:db8::1]:8080/", true, "2001:db8::1", "2001:db8::1"},
        {"[2001:db8::1]", true, "2001:db8::1", "2001:db8::1"},
        {"2001:db8::1", true, "2001:db8::1", "2001:db8::1"},
        {"http://2001:db8::1/", true, "2001:db8::1", "2001:db8::1"},
        {"192.0.2.0/24", true, "192.0.2.0/24", "192.0.2.0/24"},
        {"2001:db8::/32", true, "2001:db8::/32", "2001:db8::/32"},
        {"AS 15169", true, "AS 15169", "AS 15169"},
        {"http://пример.рф/путь", true, "пример.рф", "пример.рф"},
        {"example.com.", false, "example.com.", "example.com."},
    };
    for (const auto& c : cases) {
        const auto filtered = FilterWebAddress(c.text, c.smart);
        EXPECT_EQ(filtered, c.filtered) << c.text;
        EXPECT_EQ(StripLeadingWww(filtered, c.smart), c.stripped) << c.text;
    }
}

} // namespace
