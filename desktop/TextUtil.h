#pragma once

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

} // namespace tesseron
