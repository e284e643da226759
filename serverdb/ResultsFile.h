#pragma once

#include "serverdb/uWhoisResultList.h"

#include <stdexcept>
#include <string>
#include <string_view>

// The results file: an XML document "WhoisResult" with one "Result" element per entry,
// oldest first, each holding QueryString, ServerName, QueryDate, QueryType ("0" or "-1"),
// RawAnswer, ErrorCode, IpAddress and ReverseName as element text.
//
// XML 1.0 cannot carry some bytes that answers hold: control characters other than tab,
// line feed and carriage return, a NUL, U+FFFE/U+FFFF, or bytes that are not UTF-8. Only
// a value holding one of those is written in an escaped form, marked on its element:
//     <RawAnswer escaped="true">text\x01more \\ text</RawAnswer>
// where "\xHH" is that byte and "\\" a backslash. A reader that ignores the attribute
// still reads a well-formed file. Carriage returns are written as "&#13;" so that XML's
// line-end normalisation keeps them. Every other file is plain XML byte for byte.

namespace tesseron {

// A results file that cannot be read or written; the text is meant for the user.
class ResultsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The complete file for `results`.
std::string FormatResultsFile(const TWhoisResultCollection& results);

// Appends the entries of a results document. A parse error appends nothing; a value
// error leaves the entries read so far, the failing one included. Throws ResultsFileError.
void ReadResultsFile(std::string_view document, TWhoisResultCollection& results);

} // namespace tesseron
