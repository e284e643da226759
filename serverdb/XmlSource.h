#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The shared first steps of reading our XML files (the server list, the results file):
// the character encoding, and error texts that say where the parser stopped.

namespace tesseron {

// The document could not be decoded; the text says why and where.
class XmlSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "<reason>\nLine: <n>" and, when there is one, a piece of the line at `offset`.
std::string XmlErrorMessage(const std::string& reason, std::string_view text, std::size_t offset);

// The document as UTF-8: byte-order marks and the leading "<" tell UTF-16 and UTF-32
// apart; 8-bit text is UTF-8 unless its declaration names ISO-8859-1. Returns a view of
// `in` when no conversion is needed (a UTF-8 mark is skipped), else of `storage`. With
// `checkUtf8`, 8-bit text that is not UTF-8 is an error; without it, it is passed on as it
// is. A NUL character and an encoding other than these are errors. Throws XmlSourceError.
std::string_view DecodeXmlSource(std::string_view in, std::string& storage, bool checkUtf8 = true);

// The offset of the first start tag nested more than `maxDepth` elements deep, or nullopt.
// A scan of the bytes before the parser builds its tree, so a deep file is refused in
// linear time and without the tree's memory. Comments, CDATA sections, processing
// instructions and declarations are skipped, quoted attribute values too; the scan never
// judges whether the document is well formed (the parser does).
std::optional<std::size_t> FindTooDeepElement(std::string_view text, int maxDepth);

} // namespace tesseron
