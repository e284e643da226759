#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tesseron {

// A file-name mask: "*" any run, "?" one character, "[...]" a set with ranges and a
// leading "!" to negate; letters A-Z match without regard to case. Text and mask are
// UTF-8; "?" and a set consume one whole character, not one byte.
class FileMask {
public:
    // Throws InvalidMaskError ("'%s' is an invalid mask at (%d)") for a malformed mask.
    explicit FileMask(std::string_view mask);

    bool Matches(std::string_view text) const noexcept {
        return plainSuffix_ ? EndsWith(text) : MatchSteps(text);
    }

private:
    enum class Kind : std::uint8_t { Star, One, Literal, Set };
    struct Step {
        Kind kind;
        std::uint8_t length = 0; // Literal: bytes in `bytes` (ASCII letters stored lower case)
        char bytes[4] = {};
        std::uint32_t set = 0; // Set: index into sets_
    };
    struct CharSet {
        bool negate = false;
        std::bitset<128> ascii;
        std::vector<std::pair<char32_t, char32_t>> wide; // inclusive ranges above U+007F
        bool Contains(char32_t c) const noexcept;
    };

    void Compile(std::string_view mask);
    // Case-insensitive ends-with plainTail_ (kept lower case): inline, it runs for every
    // zone of every look-up.
    bool EndsWith(std::string_view text) const noexcept {
        const std::size_t n = plainTail_.size();
        if (text.size() < n) return false;
        const char* t = text.data() + (text.size() - n);
        for (std::size_t i = n; i-- > 0;) {
            unsigned char c = static_cast<unsigned char>(t[i]);
            if (static_cast<unsigned>(c - 'A') < 26u) c += 'a' - 'A';
            if (c != static_cast<unsigned char>(plainTail_[i])) return false;
        }
        return true;
    }
    bool MatchSteps(std::string_view text) const noexcept;
    bool MatchOne(const Step& step, std::string_view text, std::size_t& pos) const noexcept;

    std::vector<Step> steps_;
    std::vector<CharSet> sets_;
    std::string plainTail_; // set when the mask is "*" + plain text: a fast suffix test
    bool plainSuffix_ = false;
};

} // namespace tesseron
