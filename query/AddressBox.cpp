#include "query/AddressBox.h"

#include "desktop/ProfileFile.h"
#include "desktop/TextUtil.h"

#include <algorithm>

namespace tesseron {
namespace {

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

} // namespace

std::optional<std::array<unsigned char, 4>> ParseIPAddress(std::string_view text) {
    std::string_view parts[4];
    for (int i = 0; i < 3; ++i) {
        const auto dot = text.find('.');
        if (dot == std::string_view::npos) {
            parts[i] = text;
            text = {};
            continue;
        }
        parts[i] = text.substr(0, dot);
        text.remove_prefix(dot + 1);
    }
    parts[3] = text;
    std::array<unsigned char, 4> bytes{};
    for (int i = 0; i < 4; ++i) {
        // The same integer text the settings accept: decimal with a sign, or "0x" hex.
        const auto v = ParseProfileInteger(parts[i]);
        if (!v || *v < 0 || *v > 255) return std::nullopt;
        bytes[i] = static_cast<unsigned char>(*v);
    }
    return bytes;
}

bool IsIPAddress(std::string_view text) {
    return ParseIPAddress(text).has_value();
}

bool FitsHostName(std::string_view name) {
    if (!name.empty() && name.back() == '.') name.remove_suffix(1);
    if (name.size() > 253) return false;
    for (std::size_t start = 0;;) {
        const auto dot = name.find('.', start);
        const auto end = dot == std::string_view::npos ? name.size() : dot;
        if (end - start > 63) return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsControl);
}

std::string ShowControlCharacters(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (!IsControl(c)) {
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            const auto u = static_cast<unsigned char>(c);
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

void AddToHistory(std::vector<std::string>& history, const std::string& text, int historyLines) {
    history.erase(std::remove(history.begin(), history.end(), text), history.end());
    history.insert(history.begin(), text);
    const auto keep = static_cast<std::size_t>(std::max(historyLines, 0));
    if (history.size() > keep) history.resize(keep);
}

bool IsQueryEnabled(std::string_view addressText, std::string_view serverText, bool useRating) {
    return !addressText.empty() && (!serverText.empty() || useRating);
}

} // namespace tesseron
