#include "serverdb/FileMask.h"

#include "desktop/TextUtil.h"
#include "serverdb/uDomainList.h"

#include <array>

namespace tesseron {

namespace {

constexpr std::array<unsigned char, 256> MakeLowerTable() {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<unsigned char>(AsciiLower(static_cast<char>(i)));
    return t;
}
constexpr std::array<unsigned char, 256> kLower = MakeLowerTable();

inline unsigned char Lower(char c) noexcept {
    return kLower[static_cast<unsigned char>(c)];
}

// Bytes that are not part of a well-formed UTF-8 sequence stand for themselves: they get
// values above the Unicode range so that they never equal a real character.
constexpr char32_t kStrayByteBase = 0x110000;

struct Decoded {
    char32_t code;
    std::size_t length;
};

Decoded DecodeUtf8(std::string_view s, std::size_t pos) noexcept {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    const std::size_t len = Utf8SequenceLength(s, pos);
    if (len == 0) return {kStrayByteBase + b0, 1};
    if (len == 1) return {b0, 1};
    char32_t code = b0 & (0x7F >> len);
    for (std::size_t i = 1; i < len; ++i)
        code = (code << 6) | (static_cast<unsigned char>(s[pos + i]) & 0x3F);
    return {code, len};
}

// 1-based character position of the byte at `offset`, as shown to the user.
int CharPosition(std::string_view mask, std::size_t offset) {
    int pos = 1;
    for (std::size_t i = 0; i < offset && i < mask.size(); i += DecodeUtf8(mask, i).length)
        ++pos;
    return pos;
}

[[noreturn]] void ThrowInvalid(std::string_view mask, std::size_t offset) {
    throw InvalidMaskError("'" + std::string(mask) + "' is an invalid mask at (" +
                           std::to_string(CharPosition(mask, offset)) + ")");
}

char32_t OtherCase(char32_t c) noexcept {
    if (c >= 'a' && c <= 'z') return c - ('a' - 'A');
    if (c >= 'A' && c <= 'Z') return c + ('a' - 'A');
    return c;
}

} // namespace

bool FileMask::CharSet::Contains(char32_t c) const noexcept {
    bool in = false;
    if (c < 128) {
        in = ascii.test(c);
    } else {
        for (const auto& [lo, hi] : wide)
            if (c >= lo && c <= hi) {
                in = true;
                break;
            }
    }
    return in != negate;
}

FileMask::FileMask(std::string_view mask) {
    Compile(mask);
    // "*" followed by literals only: a case-insensitive ends-with does the whole job.
    plainSuffix_ = !steps_.empty() && steps_[0].kind == Kind::Star;
    for (std::size_t i = 1; plainSuffix_ && i < steps_.size(); ++i) {
        if (steps_[i].kind != Kind::Literal)
            plainSuffix_ = false;
        else
            plainTail_.append(steps_[i].bytes, steps_[i].length);
    }
    if (!plainSuffix_) plainTail_.clear();
}

void FileMask::Compile(std::string_view mask) {
    std::size_t i = 0;
    while (i < mask.size()) {
        const char c = mask[i];
        if (c == '*') {
            if (steps_.empty() || steps_.back().kind != Kind::Star) steps_.push_back({Kind::Star});
            ++i;
        } else if (c == '?') {
            steps_.push_back({Kind::One});
            ++i;
        } else if (c == '[') {
            CharSet set;
            bool empty = true;
            ++i;
            if (i < mask.size() && mask[i] == '!') set.negate = true, ++i;
            bool haveStart = false; // a single character just read can start a range
            char32_t start = 0;
            auto add = [&set](char32_t lo, char32_t hi) {
                for (char32_t ch = lo; ch <= hi && ch < 128; ++ch) {
                    set.ascii.set(ch);
                    set.ascii.set(OtherCase(ch));
                }
                if (hi >= 128) set.wide.emplace_back(lo < 128 ? 128 : lo, hi);
            };
            for (;;) {
                if (i >= mask.size())
                    ThrowInvalid(mask, mask.size()); // unclosed: position length + 1
                if (mask[i] == ']') {
                    if (empty) ThrowInvalid(mask, i); // "[]" or "[!]" names no character
                    ++i;
                    break;
                }
                if (mask[i] == '-') {
                    if (!haveStart) ThrowInvalid(mask, i);
                    ++i;
                    if (i >= mask.size()) ThrowInvalid(mask, mask.size());
                    if (mask[i] == ']') ThrowInvalid(mask, i); // range without an end
                    const Decoded end = DecodeUtf8(mask, i);
                    if (end.code < start) ThrowInvalid(mask, i);
                    add(start, end.code);
                    i += end.length;
                    haveStart = false;
                    continue;
                }
                const Decoded d = DecodeUtf8(mask, i);
                add(d.code, d.code);
                empty = false;
                haveStart = true;
                start = d.code;
                i += d.length;
            }
            steps_.push_back({Kind::Set, 0, {}, static_cast<std::uint32_t>(sets_.size())});
            sets_.push_back(std::move(set));
        } else {
            const Decoded d = DecodeUtf8(mask, i);
            Step step{Kind::Literal, static_cast<std::uint8_t>(d.length)};
            for (std::size_t k = 0; k < d.length; ++k)
                step.bytes[k] = static_cast<char>(Lower(mask[i + k]));
            steps_.push_back(step);
            i += d.length;
        }
    }
}

bool FileMask::MatchOne(const Step& step, std::string_view text, std::size_t& pos) const noexcept {
    switch (step.kind) {
    case Kind::One:
        pos += DecodeUtf8(text, pos).length;
        return true;
    case Kind::Set: {
        const Decoded d = DecodeUtf8(text, pos);
        if (!sets_[step.set].Contains(d.code)) return false;
        pos += d.length;
        return true;
    }
    case Kind::Literal:
        if (text.size() - pos < step.length) return false;
        for (std::size_t k = 0; k < step.length; ++k)
            if (Lower(text[pos + k]) != static_cast<unsigned char>(step.bytes[k])) return false;
        pos += step.length;
        return true;
    case Kind::Star:
        break;
    }
    return false;
}

// Greedy matching that backtracks to the last "*" only: every other step consumes exactly
// one character, so this is complete and runs without allocation.
bool FileMask::MatchSteps(std::string_view text) const noexcept {
    std::size_t t = 0, s = 0;
    std::size_t starStep = SIZE_MAX, starText = 0;
    while (t < text.size()) {
        if (s < steps_.size() && steps_[s].kind == Kind::Star) {
            starStep = ++s;
            starText = t;
            continue;
        }
        std::size_t next = t;
        if (s < steps_.size() && MatchOne(steps_[s], text, next)) {
            t = next;
            ++s;
            continue;
        }
        if (starStep == SIZE_MAX) return false;
        starText += DecodeUtf8(text, starText).length;
        t = starText;
        s = starStep;
    }
    while (s < steps_.size() && steps_[s].kind == Kind::Star)
        ++s;
    return s == steps_.size();
}

} // namespace tesseron
