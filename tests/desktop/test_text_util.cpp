#include "desktop/TextUtil.h"

#include <gtest/gtest.h>

namespace tesseron {
namespace {

TEST(TextUtil, PercentDecodeTakesOnlyWholeHexEscapes) {
    struct Case {
        std::string_view text;
        bool keepControls;
        std::string decoded;
    };
    const Case cases[] = {
        {"user%40example%2Enet", false, "user@example.net"},
        {"%4a%4A", false, "JJ"},
        {"100%", false, "100%"},
        {"%4", false, "%4"},
        {"%-1%+1%0x", false, "%-1%+1%0x"},
        {"%%41", false, "%A"},
        {"a%0Ab%7f", false, std::string("a\nb\x7f")},
        {"a%0Ab%7F%20c", true, "a%0Ab%7F c"},
        {"%C3%A9", true, "\xC3\xA9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentDecode(c.text, c.keepControls), c.decoded) << c.text;
}

TEST(TextUtil, Utf8SequenceLengthAcceptsOnlyWellFormedSequences) {
    const std::pair<std::string_view, std::size_t> cases[] = {
        {"a", 1},
        {"\xC3\xA9", 2},
        {"\xC2\x80", 2},
        {"\xC1\xBF", 0}, // overlong
        {"\xE2\x82\xAC", 3},
        {"\xE0\x9F\xBF", 0}, // overlong
        {"\xED\xA0\x80", 0}, // surrogate
        {"\xEF\xBF\xBF", 3},
        {"\xF0\x9F\x98\x80", 4},
        {"\xF0\x8F\xBF\xBF", 0}, // overlong
        {"\xF4\x90\x80\x80", 0}, // past U+10FFFF
        {"\xF5\x80\x80\x80", 0},
        {"\xE2\x82", 0}, // cut off
        {"\x80", 0},
        {"\xC3(", 0},
    };
    for (const auto& [text, length] : cases)
        EXPECT_EQ(Utf8SequenceLength(text, 0), length) << testing::PrintToString(text);
}

TEST(TextUtil, CaseFoldsAsciiLettersOnly) {
    EXPECT_EQ(AsciiLower("WHOIS Server: \xC3\x89"), "whois server: \xC3\x89");
    EXPECT_EQ(AsciiUpper("tdlg@[z]\xC3\xA9"), "TDLG@[Z]\xC3\xA9");
    EXPECT_TRUE(EqualsIgnoringCase("Whois:", "wHOIS:"));
    EXPECT_FALSE(EqualsIgnoringCase("whois", "whois:"));
    EXPECT_FALSE(EqualsIgnoringCase("\xC3\xA9", "\xC3\x89"));
    EXPECT_FALSE(EqualsIgnoringCase("@", "`")); // 0x40 and 0x60 are no letters
}

} // namespace
} // namespace tesseron
