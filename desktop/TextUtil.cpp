#include "desktop/TextUtil.h"

#include <algorithm>

namespace tesseron {

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = AsciiUpper(c);
    return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string PercentDecode(std::string_view text, bool keepControls) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexDigitValue(text[i + 1]), low = HexDigitValue(text[i + 2]);
            const auto byte = static_cast<unsigned char>(high * 16 + low);
            if (high >= 0 && low >= 0 && !(keepControls && (byte < 0x20 || byte == 0x7F))) {
                out += static_cast<char>(byte);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace tesseron
