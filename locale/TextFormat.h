#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tesseron {

// A message text that cannot take its one string argument: it has a second placeholder,
// a placeholder of another kind ("%d", "%1$s", "%*s"), or a "%" that starts none.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Puts `argument` into a message text of a language file. The text may hold at most one
// placeholder "%s" (also "%S"), optionally with "-" (left-justify), a width and a
// precision ("%-10s", "%.5s", "%8.3s"); width and precision count UTF-8 characters. "%%"
// gives "%". A text without a placeholder comes back without the argument. Anything else
// throws FormatError; the text is never handed to printf-style formatting.
// Texts used without an argument are used as they are: "%" has no meaning there.
std::string Format(std::string_view text, std::string_view argument);

} // namespace tesseron
