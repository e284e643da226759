#include "locale/AnswerCharset.h"

#include "desktop/TextUtil.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace tesseron {

namespace {

// Bytes 0x80 to 0x9F of Windows-1252; the five it leaves unassigned keep their own value.
constexpr std::array<char16_t, 32> k1252From80{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Bytes 0x80 to 0xBF of Windows-1251 (0x98, unassigned, keeps its value); from 0xC0 on the
// bytes are А to я in order.
constexpr std::array<char16_t, 64> k1251From80{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char16_t From1252(unsigned char b) {
    return b >= 0x80 && b <= 0x9F ? k1252From80[b - 0x80] : b;
}

char16_t From1251(unsigned char b) {
    if (b < 0x80) return b;
    return b < 0xC0 ? k1251From80[b - 0x80] : static_cast<char16_t>(0x0410 + (b - 0xC0));
}

template <typename Map> std::string SingleByte(std::string_view bytes, Map map) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes)
        AppendUtf8(out, map(static_cast<unsigned char>(c)));
    return out;
}

// Lower case without "-" and "_": "ISO_8859-1" and "iso-8859-1" name the same set.
std::string Folded(std::string_view name) {
    std::string out;
    for (const char c : name)
        if (c != '-' && c != '_') out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return out;
}

// Any other character set through iconv; false when it does not know the name or the
// bytes are not text in it.
bool ThroughIconv(std::string_view bytes, const std::string& charset, std::string& out) {
    const iconv_t cd = ::iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string result(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data()); // iconv does not write through it
    std::size_t inLeft = bytes.size();
    char* to = result.data();
    std::size_t toLeft = result.size();
    bool ok = true;
    while (inLeft > 0 && ok) {
        if (::iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            const std::size_t used = static_cast<std::size_t>(to - result.data());
            result.resize(result.size() * 2);
            to = result.data() + used;
            toLeft = result.size() - used;
        } else {
            ok = false; // EILSEQ or a truncated last character
        }
    }
    ::iconv_close(cd);
    if (!ok) return false;
    result.resize(static_cast<std::size_t>(to - result.data()));
    out = std::move(result);
    return true;
}

} // namespace

bool IsValidUtf8(std::string_view bytes) noexcept {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t c = 0, least = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2, c = b & 0x1F, least = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, c = b & 0x0F, least = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, c = b & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (n - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            c = (c << 6) | (t & 0x3F);
        }
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

std::string AnswerToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string name = Folded(charset);
    if (name == "windows1251" || name == "cp1251") return SingleByte(bytes, From1251);
    // As browsers do, ISO-8859-1 is read as its superset Windows-1252: the C1 controls it
    // would give instead are never what a server meant.
    if (name == "iso88591" || name == "latin1" || name == "windows1252" || name == "cp1252")
        return SingleByte(bytes, From1252);
    if (!name.empty() && name != "utf8") {
        std::string out;
        // iconv's own reading of a name it takes for UTF-8 ("utf-8\a", "UTF-8//IGNORE") lets
        // bytes through that are no UTF-8, so what it gives is checked like any answer.
        if (ThroughIconv(bytes, std::string(charset), out) && IsValidUtf8(out)) return out;
    }
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return SingleByte(bytes, From1252);
}

} // namespace tesseron
