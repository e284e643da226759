#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tesseron {

// Why a message text cannot take its one string argument.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Puts `argument` into a message text of a language file. The text's placeholder "%s"
// (also "%S"), optionally with "-" (left-justify), a width and a precision ("%-10s",
// "%.5s", "%8.3s"; width and precision count UTF-8 characters), takes the argument; "%%"
// gives "%". Never throws and never hands the text to printf-style formatting: whatever
// cannot be filled (a second placeholder, "%d", a lone "%") stays as it is written, so a
// broken text can spoil a line but never the work around it. A text without a placeholder
// comes back without the argument.
std::string Format(std::string_view text, std::string_view argument);

// Throws FormatError, naming the reason, unless `text` holds exactly one placeholder that
// takes a text and no other conversion. Language texts that take an argument are checked
// with it when the language loads.
void CheckArgumentText(std::string_view text);

} // namespace tesseron
