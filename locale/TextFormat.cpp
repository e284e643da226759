#include "locale/TextFormat.h"

#include <cstddef>
#include <optional>

namespace tesseron {
namespace {

// Widths beyond this are no message layout; refusing them keeps a bad text from asking
// for gigabytes of padding.
constexpr std::size_t kMaxWidth = 4096;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t CountChars(std::string_view s) {
    std::size_t n = 0;
    for (char c : s)
        if (!IsContinuation(c)) ++n;
    return n;
}

// The first `chars` characters of `s`.
std::string_view Prefix(std::string_view s, std::size_t chars) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!IsContinuation(s[i]) && seen++ == chars) return s.substr(0, i);
    }
    return s;
}

// One "%" sequence of a text: "%%", a text placeholder, or something no argument fits.
struct Conversion {
    enum class Kind { Percent, Text, Unusable } kind = Kind::Unusable;
    std::size_t end = 0; // just past the sequence
    bool left = false;
    std::size_t width = 0;
    std::optional<std::size_t> precision;
    const char* why = nullptr; // for Unusable
};

// Reads the decimal digits at `pos`; nullopt when there are none. Sets `tooLarge` past
// kMaxWidth.
std::optional<std::size_t> ReadNumber(std::string_view text, std::size_t& pos, bool& tooLarge) {
    if (pos >= text.size() || !IsDigit(text[pos])) return std::nullopt;
    std::size_t n = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (n <= kMaxWidth) n = n * 10 + static_cast<std::size_t>(text[pos] - '0');
        ++pos;
    }
    tooLarge = tooLarge || n > kMaxWidth;
    return n;
}

// Reads the sequence that starts with the "%" at `pct`.
Conversion ReadConversion(std::string_view text, std::size_t pct) {
    Conversion c;
    std::size_t pos = pct + 1;
    if (pos < text.size() && text[pos] == '%') {
        c.kind = Conversion::Kind::Percent;
        c.end = pos + 1;
        return c;
    }
    c.left = pos < text.size() && text[pos] == '-';
    if (c.left) ++pos;
    bool tooLarge = false;
    c.width = ReadNumber(text, pos, tooLarge).value_or(0);
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        c.precision = ReadNumber(text, pos, tooLarge).value_or(0);
    }
    if (pos >= text.size()) {
        c.end = pos;
        c.why = "it ends inside a placeholder";
    } else if (text[pos] != 's' && text[pos] != 'S') {
        // The sequence ends at the first character that is no part of a text placeholder,
        // so "%d" and "%1$s" stay whole when written out.
        c.end = pos + 1;
        c.why = "it holds a placeholder that does not take a text";
    } else if (tooLarge) {
        c.end = pos + 1;
        c.why = "a width or precision is too large";
    } else {
        c.kind = Conversion::Kind::Text;
        c.end = pos + 1;
    }
    return c;
}

} // namespace

std::string Format(std::string_view text, std::string_view argument) {
    std::string out;
    out.reserve(text.size() + argument.size());
    bool used = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto pct = text.find('%', pos);
        if (pct == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, pct - pos));
        const Conversion c = ReadConversion(text, pct);
        if (c.kind == Conversion::Kind::Percent) {
            out += '%';
        } else if (c.kind == Conversion::Kind::Text && !used) {
            used = true;
            const auto value = c.precision ? Prefix(argument, *c.precision) : argument;
            const auto chars = CountChars(value);
            const std::size_t pad = c.width > chars ? c.width - chars : 0;
            if (!c.left) out.append(pad, ' ');
            out.append(value);
            if (c.left) out.append(pad, ' ');
        } else {
            out.append(text.substr(pct, c.end - pct));
        }
        pos = c.end;
    }
    return out;
}

void CheckArgumentText(std::string_view text) {
    const auto fail = [&](std::string_view why) {
        throw FormatError("the text \"" + std::string(text) +
                          "\" cannot be used: " + std::string(why));
    };
    int placeholders = 0;
    for (auto pct = text.find('%'); pct != std::string_view::npos;) {
        const Conversion c = ReadConversion(text, pct);
        if (c.kind == Conversion::Kind::Unusable) fail(c.why);
        if (c.kind == Conversion::Kind::Text && ++placeholders > 1)
            fail("it holds more than one placeholder");
        pct = text.find('%', c.end);
    }
    if (placeholders == 0) fail("it has no place for its argument (\"%s\")");
}

} // namespace tesseron
