#include "locale/TextFormat.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

TEST(TextFormat, FillsTheOneTextPlaceholder) {
    struct Case {
        std::string text, argument, expected;
    };
    const std::vector<Case> cases = {
        {"Query %s started", "example.com", "Query example.com started"},
        {"%s", "", ""},
        {"Zones: %S", "812", "Zones: 812"},
        {"100%% of %s", "x", "100% of x"},
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
    for (const auto& c : cases) {
        EXPECT_EQ(Format(c.text, c.argument), c.expected) << c.text;
        EXPECT_NO_THROW(CheckArgumentText(c.text)) << c.text;
    }
}

// A text that cannot take its argument never makes formatting fail: what cannot be filled
// is written as it stands. The language check refuses every one of them.
TEST(TextFormat, UnusableTextsAreKeptAndRefusedByTheCheck) {
    struct Case {
        std::string text, expected;
    };
    const std::vector<Case> cases = {
        {"Query %d started", "Query %d started"},
        {"%s and %s", "x and %s"},
        {"%x", "%x"},
        {"%1$s", "%1$s"},
        {"%0:s", "%0:s"},
        {"%*s", "%*s"},
        {"%-*s", "%-*s"},
        {"%5d", "%5d"},
        {"%n%s", "%nx"},
        {"ends with %", "ends with %"},
        {"ends with %-5", "ends with %-5"},
        {"%.5", "%.5"},
        {"%99999999999999999999s", "%99999999999999999999s"},
        {"%5000s", "%5000s"},
        {"%ls", "%ls"},
        {"Zones", "Zones"}, // no place for the argument
        {"%%s", "%s"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Format(c.text, "x"), c.expected) << c.text;
        EXPECT_THROW(CheckArgumentText(c.text), FormatError) << c.text;
    }
}

} // namespace
