#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tesseron {

// The product and its version: "Tesseron 1.0.1.123" in full, "Tesseron 1.0.1" short.
std::string GetVersionString(bool full);
// The same for any product name and four-part version. The short form drops the build
// number and then a last component that reads as 0 ("2.0.0.45" gives "2.0").
std::string GetVersionString(bool full, std::string_view product, std::string_view fileVersion);

// A font style as the settings file stores it: bit 1 bold, 2 italic, 4 underline,
// 8 strike-out; other bits are ignored.
struct FontStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    bool operator==(const FontStyle&) const = default;
};

FontStyle FontStyleFromInt(int32_t value);
int32_t FontStyleToInt(const FontStyle& style);

} // namespace tesseron
