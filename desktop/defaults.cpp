#include "desktop/defaults.h"

#include "app/TesseronVersion.h"

#include <charconv>

namespace tesseron {
namespace {

bool ReadsAsZero(std::string_view component) {
    int value = -1;
    const auto [end, ec] =
        std::from_chars(component.data(), component.data() + component.size(), value);
    return ec == std::errc() && end == component.data() + component.size() && value == 0;
}

} // namespace

std::string GetVersionString(bool full) {
    return GetVersionString(full, version::kProduct, version::kFileVersion);
}

std::string GetVersionString(bool full, std::string_view product, std::string_view fileVersion) {
    std::string_view v = fileVersion;
    if (!full) {
        // A version without dots has no build number to drop; the first component always stays.
        if (auto dot = v.rfind('.'); dot != std::string_view::npos) {
            v = v.substr(0, dot);
            dot = v.rfind('.');
            if (dot != std::string_view::npos && ReadsAsZero(v.substr(dot + 1)))
                v = v.substr(0, dot);
        }
    }
    return std::string(product) + " " + std::string(v);
}

FontStyle FontStyleFromInt(int32_t value) {
    return {(value & 1) != 0, (value & 2) != 0, (value & 4) != 0, (value & 8) != 0};
}

int32_t FontStyleToInt(const FontStyle& style) {
    return (style.bold ? 1 : 0) | (style.italic ? 2 : 0) | (style.underline ? 4 : 0) |
           (style.strikeOut ? 8 : 0);
}

} // namespace tesseron
