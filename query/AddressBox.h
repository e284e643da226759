#pragma once

// The address box's rules: what counts as an IPv4 address or a host name, how typed text
// is cleaned, the history and when a query may start.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesseron {

// Four dot-separated parts, each an integer from 0 to 255 ("001.002.003.004" counts).
bool IsIPAddress(std::string_view text);

// The four bytes of an address IsIPAddress accepts, read the same way ("0x7f.0.0.1" and
// "127.000.000.001" are 127.0.0.1); nullopt for any other text.
std::optional<std::array<unsigned char, 4>> ParseIPAddress(std::string_view text);

// Whether `name` fits the limits of a DNS name: at most 253 characters (a final dot aside)
// and 63 per label.
bool FitsHostName(std::string_view name);

// Whether `text` holds a C0 control character or DEL.
bool HasControlCharacter(std::string_view text);
// `text` with its control characters written out ("\r", "\n", "\t", "\x1b"), for a log line.
std::string ShowControlCharacters(std::string_view text);

// The web-address filter and the "www." rule are in query/WebAddress.h.

// Puts `text` at the top of the history, removing equal items (exact comparison), and
// keeps at most `historyLines` items.
void AddToHistory(std::vector<std::string>& history, const std::string& text, int historyLines);

// Whether the Query action is available.
bool IsQueryEnabled(std::string_view addressText, std::string_view serverText, bool useRating);

} // namespace tesseron
