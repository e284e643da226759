#pragma once

// Small text helpers shared by the core: trimming, ASCII letter case, hex digits, percent
// escapes and UTF-8 sequences.

#include <cstddef>
#include <string>
#include <string_view>

namespace tesseron {

// Trims blanks and control characters (every byte up to and including the blank) from
// both ends, as typed addresses and language-file lines have always been trimmed.
inline std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// ASCII letter case only: names, keys and schemes compare this way whatever the locale,
// and bytes of UTF-8 text stay as they are.
constexpr char AsciiLower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) noexcept {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept;

// The value of a hexadecimal digit, or -1.
constexpr int HexDigitValue(char c) noexcept {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// "%XX" escapes decoded; anything else, a broken escape included, stays as written. With
// `keepControls`, an escape of a control character stays as written too.
std::string PercentDecode(std::string_view text, bool keepControls = false);

// The length of the well-formed UTF-8 sequence at `i` (1 for an ASCII byte), or 0 when
// the bytes there are none: overlong forms, surrogates and values past U+10FFFF are not.
inline std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) noexcept {
    const auto at = [&s](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned b0 = at(i);
    if (b0 < 0x80) return 1;
    const std::size_t len = b0 >= 0xC2 && b0 <= 0xDF   ? 2
                            : b0 >= 0xE0 && b0 <= 0xEF ? 3
                            : b0 >= 0xF0 && b0 <= 0xF4 ? 4
                                                       : 0;
    if (len == 0 || i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k)
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    const unsigned b1 = at(i + 1);
    if ((b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 >= 0xA0) || // overlong, surrogate
        (b0 == 0xF0 && b1 < 0x90) || (b0 == 0xF4 && b1 >= 0x90))   // overlong, > U+10FFFF
        return 0;
    return len;
}

} // namespace tesseron
