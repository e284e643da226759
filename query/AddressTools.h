#pragma once

#include "desktop/TextUtil.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesseron {

class AbortHandle;

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

// The first IPv4 address of a host name as dotted text, or "" when the look-up fails.
// A name too long to be one resolves to nothing without asking the resolver. An abort
// ends the wait at once with "".
std::string ResolveAddress(const std::string& name, const AbortHandle* abort = nullptr);

// The host name registered for an address IsIPAddress accepts, or "".
std::string ResolveReverseName(const std::string& address, const AbortHandle* abort = nullptr);

// A server text as the server box, the server list or a referral gives it:
// "host", "host:port" or "scheme://host:port/path". The port is 43 unless a valid
// integer follows the first ":". The scheme, lower-cased, picks the transport that asks
// the server; it is empty when the text names none.
struct ServerAddress {
    std::string scheme;
    std::string host;
    int port = 43;
};
ServerAddress SplitServerAddress(std::string_view text);

// The referral key of an answer: "ReferralServer:" for an IPv4 query, else "Whois Server:".
std::string_view ReferralKey(std::string_view queryString);

// The referral value of an answer: the first line whose lower-case form contains the
// lower-case key, lower-cased, from the second character after the key to the line's end,
// less trailing blanks and control characters. nullopt when no line holds the key.
std::optional<std::string> FindReferral(std::string_view answer, std::string_view key);

// The address box's smart filter: "scheme://host:port/path" becomes "host". With
// `smart` off only blanks and control characters are trimmed.
std::string FilterURL(std::string_view text, bool smart);
// Removes a leading "www." (case-sensitive) when `smart` is on; always trims.
std::string StripWww(std::string_view text, bool smart);

// Puts `text` at the top of the history, removing equal items (exact comparison), and
// keeps at most `historyLines` items.
void AddToHistory(std::vector<std::string>& history, const std::string& text, int historyLines);

// Whether the Query action is available.
bool IsQueryEnabled(std::string_view addressText, std::string_view serverText, bool useRating);

} // namespace tesseron
