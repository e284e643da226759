#pragma once

#include <string>
#include <string_view>

namespace tesseron {

// Whether `bytes` are well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF).
bool IsValidUtf8(std::string_view bytes) noexcept;

// An answer's bytes as UTF-8 text for display, read in the character set `charset` names
// (any letter case: "windows-1251", "iso-8859-1", "utf-8", or another name iconv knows).
// Without a charset, or when the bytes are not text in it: the bytes as they are when they
// are valid UTF-8, else Windows-1252 with its five unassigned bytes kept as the C1 controls
// of the same value, so nothing is lost or merged. A leading byte-order mark is kept.
std::string AnswerToUtf8(std::string_view bytes, std::string_view charset = {});

} // namespace tesseron
