#include "query/AddressBox.h"

#include <gtest/gtest.h>

using namespace tesseron;

namespace {

TEST(AddressBox, IsIPAddress) {
    const std::pair<const char*, bool> cases[] = {
        {"192.168.0.1", true},  {"192.168.0", false},      {"1.2.3.4.5", false},
        {"256.1.1.1", false},   {"1..2.3", false},         {"001.002.003.004", true},
        {"0.0.0.0", true},      {"255.255.255.255", true}, {"-1.2.3.4", false},
        {"+1.2.3.4", true},     {"0x10.1.1.1", true},      {"a.b.c.d", false},
        {" 1.2.3.4", false},    {"1.2.3.4 ", false},       {"", false},
        {"example.com", false}, {"1.2.3.", false},         {"1.2.3.4.", false},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(IsIPAddress(text), expected) << text;
}

TEST(AddressBox, HistoryKeepsOneCopyAtTheTop) {
    std::vector<std::string> h{"b.example", "a.example", "B.example", "a.example"};
    AddToHistory(h, "a.example", 8);
    EXPECT_EQ(h, (std::vector<std::string>{"a.example", "b.example", "B.example"}));
    AddToHistory(h, "c.example", 2);
    EXPECT_EQ(h, (std::vector<std::string>{"c.example", "a.example"}));
    AddToHistory(h, "", 1);
    EXPECT_EQ(h, (std::vector<std::string>{""}));
}

TEST(AddressBox, QueryEnabledRule) {
    EXPECT_TRUE(IsQueryEnabled(" ", "", true));
    EXPECT_FALSE(IsQueryEnabled("", "whois.example", true));
    EXPECT_FALSE(IsQueryEnabled("example.com", "", false));
    EXPECT_TRUE(IsQueryEnabled("example.com", "whois.example", false));
}

TEST(AddressBox, ControlCharactersAreFoundAndShown) {
    const std::pair<std::string, std::string> shown[] = {
        {"a.test\r\nb.test", "a.test\\r\\nb.test"},
        {"a\tb", "a\\tb"},
        {std::string("a\0b\x1b\x7f", 5), "a\\x00b\\x1b\\x7f"},
    };
    for (const auto& [text, visible] : shown) {
        EXPECT_TRUE(HasControlCharacter(text)) << visible;
        EXPECT_EQ(ShowControlCharacters(text), visible);
    }
    for (const char* plain : {"example.com",
                              "b\xfc"
                              "cher.de",
                              " -T dn x", ""}) {
        EXPECT_FALSE(HasControlCharacter(plain)) << plain;
        EXPECT_EQ(ShowControlCharacters(plain), plain);
    }
}

TEST(AddressBox, HostNameLimits) {
    const std::string label63(63, 'a');
    const std::pair<std::string, bool> cases[] = {
        {"whois.example", true},
        {label63 + ".test", true},
        {std::string(64, 'a') + ".test", false},
        {label63 + "." + label63 + "." + label63 + "." + std::string(61, 'a'), true}, // 253
        {label63 + "." + label63 + "." + label63 + "." + std::string(61, 'a') + ".", true},
        {label63 + "." + label63 + "." + label63 + "." + std::string(62, 'a'), false},
        {std::string(10000, 'n'), false},
    };
    for (const auto& [name, fits] : cases)
        EXPECT_EQ(FitsHostName(name), fits) << name.size();
}

} // namespace
