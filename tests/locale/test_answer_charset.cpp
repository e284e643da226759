#include "locale/AnswerCharset.h"

#include <gtest/gtest.h>

#include <string>

namespace tesseron {
namespace {

TEST(AnswerCharset, DecodesInTheServersCharsetElseUtf8ElseWindows1252) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* charset;
        std::string utf8;
    };
    const Case cases[] = {
        // No charset known: today's rule.
        {"utf-8 as is", "\xC3\xA9t\xC3\xA9", "", "\xC3\xA9t\xC3\xA9"},
        {"bom kept", "\xEF\xBB\xBFx", "", "\xEF\xBB\xBFx"},
        {"1252", "\x80\x9F\xE9", "", "\xE2\x82\xAC\xC5\xB8\xC3\xA9"},
        {"1252 unassigned", "\x81\x9D", "", "\xC2\x81\xC2\x9D"},
        {"overlong", "\xC0\xAF", "", "\xC3\x80\xC2\xAF"},
        {"surrogate", "\xED\xA0\x80", "", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", "", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},
        {"cut short", "a\xE2\x82", "", "a\xC3\xA2\xE2\x80\x9A"},
        {"nul kept", std::string("a\0b", 3), "", std::string("a\0b", 3)},
        // The server's charset wins, even over bytes that happen to be valid UTF-8.
        {"1251", "\xCF\xF0\xE8\xEC\xE5\xF0 \xA8\xB8 \x98", "windows-1251",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80 \xD0\x81\xD1\x91 \xC2\x98"},
        {"1251 named in capitals", "\xFF", "CP1251", "\xD1\x8F"},
        {"latin-1", "\xC3\xA9", "iso-8859-1", "\xC3\x83\xC2\xA9"},
        {"latin-1 read as 1252", "\x80", "ISO_8859-1", "\xE2\x82\xAC"},
        {"utf-8 named", "\xC3\xA9", "utf-8", "\xC3\xA9"},
        {"utf-8 named but not", "\xE9", "UTF8", "\xC3\xA9"},
        // Other sets through the system's converter; an unknown name or bytes that are not
        // text in the set fall back to the rule above.
        {"koi8-r", "\xF0\xD2", "koi8-r", "\xD0\x9F\xD1\x80"},
        {"iso-8859-2", "\xB1", "iso-8859-2", "\xC4\x85"},
        {"unknown set", "\xC3\xA9", "no-such-set", "\xC3\xA9"},
        {"not text in it", "\x80", "us-ascii", "\xE2\x82\xAC"},
        // A name the converter takes for UTF-8 passes bytes that are none: read as 1252.
        {"utf-8 alias", "\xF5\xBB", "utf-8\a", "\xC3\xB5\xC2\xBB"},
        {"utf-8 alias ignoring", "\xF8\x88\x80\x80\x80", "UTF-8//IGNORE",
         "\xC3\xB8\xCB\x86\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"},
        {"empty", "", "windows-1251", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AnswerToUtf8(c.bytes, c.charset), c.utf8) << c.what;
}

TEST(AnswerCharset, EverySingleByteSetRoundTripsAll256Bytes) {
    // Distinct bytes must stay distinct, or an answer shown could not be told apart.
    for (const char* charset : {"", "windows-1251", "iso-8859-1"}) {
        std::string all;
        for (int b = 0x80; b < 0x100; ++b)
            all += std::string(1, static_cast<char>(b)) + "|";
        const std::string out = AnswerToUtf8(all, charset);
        std::size_t pieces = 0;
        std::string seen;
        for (std::size_t start = 0, bar; (bar = out.find('|', start)) != std::string::npos;
             start = bar + 1, ++pieces) {
            const std::string piece = out.substr(start, bar - start);
            EXPECT_EQ(seen.find("," + piece + ","), std::string::npos) << charset;
            seen += "," + piece + ",";
        }
        EXPECT_EQ(pieces, 128u) << charset;
        EXPECT_TRUE(IsValidUtf8(out)) << charset;
    }
}

} // namespace
} // namespace tesseron
