#include "serverdb/XmlSource.h"

#include "desktop/TextUtil.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tesseron {
namespace {

// Up to 40 printable characters of the line holding `offset`, for error messages.
std::string Snippet(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t start = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    start = (start == std::string_view::npos || start >= offset) ? 0 : start + 1;
    while (start < offset && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    if (offset - start > 40) start = offset;
    std::string out;
    int chars = 0;
    for (std::size_t i = start; i < text.size() && text[i] != '\n' && chars < 40; ++chars) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c), ++i;
            continue;
        }
        // Keep well-formed multi-byte characters (not C1 controls); anything else is '?'.
        const std::size_t len = c >= 0x80 ? Utf8SequenceLength(text, i) : 0;
        if (len > 0 && !(c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
            out.append(text.substr(i, len));
            i += len;
        } else {
            out += c == '\t' ? ' ' : '?';
            ++i;
        }
    }
    return out;
}

} // namespace

std::string XmlErrorMessage(const std::string& reason, std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n');
    std::string message = reason + "\nLine: " + std::to_string(line);
    if (std::string snippet = Snippet(text, offset); !snippet.empty()) message += "\n" + snippet;
    return message;
}

namespace {

// Rejects NUL bytes (the parser would stop there and take the rest as absent) and bytes
// that are not UTF-8 (binary content, a file in an undeclared 8-bit encoding).
void CheckUtf8(std::string_view text) {
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL, kOnes = 0x0101010101010101ULL;
    std::size_t i = 0;
    while (i < text.size()) {
        if (i + 8 <= text.size()) {
            std::uint64_t w;
            std::memcpy(&w, text.data() + i, 8);
            if (((w & kHigh) | ((w - kOnes) & ~w & kHigh)) == 0) {
                i += 8;
                continue;
            }
        }
        if (text[i] == '\0')
            throw XmlSourceError(XmlErrorMessage("Invalid character (NUL byte)", text, i));
        const std::size_t len = Utf8SequenceLength(text, i);
        if (len == 0) throw XmlSourceError(XmlErrorMessage("Invalid UTF-8 byte sequence", text, i));
        i += len;
    }
}

// UTF-16 or UTF-32 (unit 2 or 4 bytes) to UTF-8.
std::string DecodeWide(std::string_view in, int unit, bool bigEndian) {
    std::string out;
    out.reserve(in.size() / static_cast<std::size_t>(unit) * 3 / 2);
    const auto read = [&](std::size_t i) {
        char32_t v = 0;
        for (int k = 0; k < unit; ++k) {
            const auto b = static_cast<unsigned char>(in[i + static_cast<std::size_t>(k)]);
            v |= static_cast<char32_t>(b) << (8 * (bigEndian ? unit - 1 - k : k));
        }
        return v;
    };
    const std::string name = unit == 2 ? "UTF-16" : "UTF-32";
    const auto u = static_cast<std::size_t>(unit);
    for (std::size_t i = 0; i < in.size(); i += u) {
        if (i + u > in.size())
            throw XmlSourceError(XmlErrorMessage("Incomplete " + name + " text", out, out.size()));
        char32_t c = read(i);
        if (unit == 2 && c >= 0xD800 && c <= 0xDBFF && i + 4 <= in.size()) {
            const char32_t low = read(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c == 0)
            throw XmlSourceError(XmlErrorMessage("Invalid character (NUL byte)", out, out.size()));
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            throw XmlSourceError(XmlErrorMessage("Invalid " + name + " text", out, out.size()));
        AppendUtf8(out, c);
    }
    return out;
}

// The encoding named by an XML declaration at the start of 8-bit text, or "".
std::string DeclaredEncoding(std::string_view text) {
    if (text.substr(0, 5) != "<?xml") return {};
    const std::string_view decl = text.substr(0, text.find("?>"));
    std::size_t p = decl.find("encoding");
    if (p == std::string_view::npos) return {};
    p = decl.find_first_of("\"'", p);
    if (p == std::string_view::npos) return {};
    const std::size_t end = decl.find(decl[p], p + 1);
    return std::string(decl.substr(p + 1, end == std::string_view::npos ? 0 : end - p - 1));
}

} // namespace

std::string_view DecodeXmlSource(std::string_view in, std::string& storage, bool checkUtf8) {
    const auto starts = [&in](std::string_view prefix) {
        return in.substr(0, prefix.size()) == prefix;
    };
    using namespace std::string_view_literals;
    if (starts("\xEF\xBB\xBF"sv))
        in.remove_prefix(3);
    else if (starts("\xFF\xFE\0\0"sv))
        return storage = DecodeWide(in.substr(4), 4, false);
    else if (starts("\0\0\xFE\xFF"sv))
        return storage = DecodeWide(in.substr(4), 4, true);
    else if (starts("\xFF\xFE"sv))
        return storage = DecodeWide(in.substr(2), 2, false);
    else if (starts("\xFE\xFF"sv))
        return storage = DecodeWide(in.substr(2), 2, true);
    else if (starts("<\0\0\0"sv))
        return storage = DecodeWide(in, 4, false);
    else if (starts("\0\0\0<"sv))
        return storage = DecodeWide(in, 4, true);
    else if (in.size() >= 4 && in[0] == '<' && in[1] == '\0' && in[3] == '\0')
        return storage = DecodeWide(in, 2, false);
    else if (in.size() >= 4 && in[0] == '\0' && in[1] == '<' && in[2] == '\0')
        return storage = DecodeWide(in, 2, true);

    const std::string declared = AsciiLower(DeclaredEncoding(in));
    if (declared == "iso-8859-1" || declared == "latin1") {
        std::string& out = storage;
        out.reserve(in.size() + in.size() / 8);
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (in[i] == '\0')
                throw XmlSourceError(
                    XmlErrorMessage("Invalid character (NUL byte)", out, out.size()));
            AppendUtf8(out, static_cast<unsigned char>(in[i]));
        }
        return storage;
    }
    if (!declared.empty() && declared != "utf-8" && declared != "us-ascii")
        throw XmlSourceError(
            XmlErrorMessage("Unsupported encoding \"" + DeclaredEncoding(in) + "\"", in, 0));
    if (checkUtf8) {
        CheckUtf8(in);
    } else if (const void* nul = std::memchr(in.data(), '\0', in.size())) {
        const auto at = static_cast<std::size_t>(static_cast<const char*>(nul) - in.data());
        throw XmlSourceError(XmlErrorMessage("Invalid character (NUL byte)", in, at));
    }
    return in;
}

std::optional<std::size_t> FindTooDeepElement(std::string_view text, int maxDepth) {
    const auto skipPast = [&](std::size_t from, std::string_view end) {
        const auto at = text.find(end, from);
        return at == std::string_view::npos ? text.size() : at + end.size();
    };
    int depth = 0;
    std::size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("<!--")) {
            i = skipPast(i + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            i = skipPast(i + 9, "]]>");
        } else if (rest.starts_with("<?")) {
            i = skipPast(i + 2, "?>");
        } else if (rest.starts_with("<!")) {
            i += 2; // a declaration holds no elements; what it holds is scanned on
        } else if (rest.starts_with("</")) {
            if (depth > 0) --depth;
            i = skipPast(i + 2, ">");
        } else {
            // A start tag: to its '>' outside quoted values; "/>" opens nothing.
            char quote = 0;
            std::size_t j = i + 1;
            for (; j < text.size(); ++j) {
                const char c = text[j];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (j >= text.size() || text[j - 1] != '/') {
                if (++depth > maxDepth) return i;
            }
            i = j + 1;
        }
    }
    return std::nullopt;
}

} // namespace tesseron
