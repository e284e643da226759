#include "desktop/defaults.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

TEST(Defaults, VersionStrings) {
    EXPECT_EQ(GetVersionString(true), "Tesseron 1.0.1.123");
    EXPECT_EQ(GetVersionString(false), "Tesseron 1.0.1");
    const std::vector<std::pair<std::string, std::string>> shortForms = {
        {"1.0.1.123", "1.0.1"}, {"2.0.0.45", "2.0"}, {"1.0.0.5", "1.0"},
        {"1.2.3.4", "1.2.3"},   {"1.0.0.0", "1.0"},  {"1.00.7", "1"},
        {"1.x.0.9", "1.x"},     {"7", "7"},          {"0.5", "0"},
    };
    for (const auto& [full, expected] : shortForms) {
        EXPECT_EQ(GetVersionString(false, "P", full), "P " + expected) << full;
        EXPECT_EQ(GetVersionString(true, "P", full), "P " + full);
    }
}

TEST(Defaults, FontStyleKeepsTheFourLowBits) {
    for (int32_t n = 0; n < 16; ++n)
        EXPECT_EQ(FontStyleToInt(FontStyleFromInt(n)), n);
    EXPECT_EQ(FontStyleFromInt(1 | 8), (FontStyle{true, false, false, true}));
    EXPECT_EQ(FontStyleFromInt(2 | 4), (FontStyle{false, true, true, false}));
    EXPECT_EQ(FontStyleToInt(FontStyleFromInt(0x7FFFFFF0)), 0);
    EXPECT_EQ(FontStyleToInt(FontStyleFromInt(-1)), 15);
}

} // namespace
