#include "serverdb/FileMask.h"
#include "serverdb/uDomainList.h"

#include <gtest/gtest.h>

namespace tesseron::test {
namespace {

struct MaskCase {
    const char* mask;
    const char* text;
    bool expected;
};

TEST(FileMask, MatchesByTheMaskRules) {
    const MaskCase cases[] = {
        // "*" + plain text: case-insensitive ends-with
        {"*.com", "example.com", true},
        {"*.com", "EXAMPLE.COM", true},
        {"*.CoM", "example.cOm", true},
        {"*.com", ".com", true},
        {"*.com", "com", false},
        {"*.com", "example.co", false},
        {"*.com", "example.com.au", false},
        {"*com", "telecom", true},
        {"**.com", "a.com", true},
        {"*", "", true},
        {"*", "anything at all", true},
        {"", "", true},
        {"", "a", false},
        {"abc", "ABC", true},
        {"abc", "abcd", false},
        {"a]b", "A]B", true},
        // "?" is exactly one character, a multi-byte one included
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "abbc", false},
        {"*?", "", false},
        {"?", "\xC3\xA9", true},
        {"??", "\xC3\xA9", false},
        {"*.??", "example.de", true},
        {"*.??", "example.com", false},
        // sets, ranges, negation; letters in sets ignore case too
        {"*[0-9].net", "host7.net", true},
        {"*[0-9].net", "host.net", false},
        {"[a-c]x", "Bx", true},
        {"[A-C]x", "bx", true},
        {"[abc]x", "dx", false},
        {"[!a-c]x", "dx", true},
        {"[!a-c]x", "Ax", false},
        {"[!a-c]", "", false},
        {"[*?]", "*", true},
        {"[*?]", "a", false},
        {"[\xC3\xA4\xC3\xB6]x", "\xC3\xB6x", true},
        {"[a-\xC3\xBC]", "\xC3\xA9", true},
        {"[!\xC3\xA9]", "\xC3\xA9", false},
        // backtracking over several stars
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"*a*a*a", "aaaa", true},
        {"*ab", "aab", true},
        {"*a?c*", "xxabcabd", true},
        // only ASCII letters fold
        {"*.\xD1\x80\xD1\x84", "\xD0\xBF.\xD1\x80\xD1\x84", true},
        {"*\xC3\xA9", "\xC3\x89", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("mask '") + c.mask + "' text '" + c.text + "'");
        EXPECT_EQ(FileMask(c.mask).Matches(c.text), c.expected);
    }
}

TEST(FileMask, MalformedMasksNameTheFaultPosition) {
    const std::pair<const char*, int> cases[] = {
        {"[abc", 5},       // unclosed: length + 1
        {"*.[com", 7},     //
        {"[!", 3},         //
        {"[a-", 4},        // unclosed inside a range
        {"[-a]", 2},       // range without a start
        {"[!-a]", 3},      //
        {"[a-c-e]", 5},    // a range cannot start a range
        {"[z-a]", 4},      // reversed range: at its end
        {"[a-]", 4},       // range without an end
        {"[]", 2},         // a set of no characters
        {"[!]x", 3},       //
        {"\xC3\xA9[x", 4}, // positions count characters, not bytes
    };
    for (const auto& [mask, position] : cases) {
        SCOPED_TRACE(mask);
        const std::string expected =
            std::string("'") + mask + "' is an invalid mask at (" + std::to_string(position) + ")";
        try {
            FileMask m(mask);
            ADD_FAILURE() << "no exception";
        } catch (const InvalidMaskError& e) {
            EXPECT_EQ(e.what(), expected);
        }
    }
}

} // namespace
} // namespace tesseron::test
