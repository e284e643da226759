#include "locale/TextFormat.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

TEST(TextFormat, AcceptsOneTextPlaceholder) {
    struct Case {
        std::string text, argument, expected;
    };
    const std::vector<Case> cases = {
        {"Query %s started", "example.com", "Query example.com started"},
        {"%s", "", ""},
        {"Zones: %S", "812", "Zones: 812"},
        {"Zones", "812", "Zones"}, // no placeholder: the argument is left out
        {"100%% of %s", "x", "100% of x"},
        {"%%s", "x", "%s"},
        {"[%6s]", "ab", "[    ab]"},
        {"[%-6s]", "ab", "[ab    ]"},
        {"[%.3s]", "abcdef", "[abc]"},
        {"[%5.2s]", "abcdef", "[   ab]"},
        {"[%.s]", "abc", "[]"},
        {"[%2s]", "abcdef", "[abcdef]"},
        // Width and precision count characters, not bytes.
        {"[%.2s]", "Адрес", "[Ад]"},
        {"[%-4s]", "Ад", "[Ад  ]"},
        // The argument is never read as a format itself.
        {"%s", "%d %s %n", "%d %s %n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Format(c.text, c.argument), c.expected) << c.text;
}

TEST(TextFormat, RejectsEverythingElse) {
    const std::vector<std::string> texts = {
        "%s and %s",
        "%d",
        "%x",
        "%1$s",
        "%0:s",
        "%*s",
        "%-*s",
        "%5d",
        "%n",
        "ends with %",
        "ends with %-5",
        "%.5",
        "%99999999999999999999s",
        "%5000s",
        "%ls",
    };
    for (const auto& text : texts)
        EXPECT_THROW(Format(text, "x"), FormatError) << text;
}

} // namespace
