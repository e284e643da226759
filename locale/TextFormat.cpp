#include "locale/TextFormat.h"

#include <cstddef>

namespace tesseron {
namespace {

// Widths beyond this are no message layout; refusing them keeps a bad text from asking
// for gigabytes of padding.
constexpr std::size_t kMaxWidth = 4096;

[[noreturn]] void Fail(std::string_view text, std::string_view why) {
    throw FormatError("The message text \"" + std::string(text) +
                      "\" cannot be used: " + std::string(why));
}

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

// Reads the decimal digits at `pos`; -1 when there are none.
long ReadNumber(std::string_view text, std::size_t& pos) {
    if (pos >= text.size() || !IsDigit(text[pos])) return -1;
    std::size_t n = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        n = n * 10 + static_cast<std::size_t>(text[pos++] - '0');
        if (n > kMaxWidth) Fail(text, "a width or precision is too large");
    }
    return static_cast<long>(n);
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
        pos = pct + 1;
        if (pos < text.size() && text[pos] == '%') {
            out += '%';
            ++pos;
            continue;
        }
        const bool left = pos < text.size() && text[pos] == '-';
        if (left) ++pos;
        const long width = ReadNumber(text, pos);
        long precision = -1;
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
            precision = ReadNumber(text, pos);
            if (precision < 0) precision = 0;
        }
        if (pos >= text.size()) Fail(text, "it ends inside a placeholder");
        if (text[pos] != 's' && text[pos] != 'S')
            Fail(text, "it holds a placeholder that does not take a text");
        ++pos;
        if (used) Fail(text, "it holds more than one placeholder");
        used = true;

        const auto value =
            precision >= 0 ? Prefix(argument, static_cast<std::size_t>(precision)) : argument;
        const auto chars = CountChars(value);
        const std::size_t pad =
            width > 0 && static_cast<std::size_t>(width) > chars ? width - chars : 0;
        if (!left) out.append(pad, ' ');
        out.append(value);
        if (left) out.append(pad, ' ');
    }
    return out;
}

} // namespace tesseron
