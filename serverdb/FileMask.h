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

    bool Matches(std::string_view text) const noexcept;

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
    bool MatchSteps(std::string_view text) const noexcept;
    bool MatchOne(const Step& step, std::string_view text, std::size_t& pos) const noexcept;

    std::vector<Step> steps_;
    std::vector<CharSet> sets_;
    std::string plainTail_; // set when the mask is "*" + plain text: a fast suffix test
    bool plainSuffix_ = false;
};

bool MatchesMask(std::string_view text, std::string_view mask);

} // namespace tesseron
