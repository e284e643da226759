#pragma once

#include <string>
#include <string_view>

namespace tesseron {

// The outcome of an IDN conversion: the converted name, or libidn2's reason for refusing
// it (idn2_strerror's text, in English; a log line wraps it in a translated message).
struct IdnResult {
    std::string name;
    std::string error; // empty on success
    bool ok() const { return error.empty(); }
};

// A typed name in the form servers and the zone look-up take: UTS 46 mapping and IDNA2008
// non-transitional processing through libidn2, input normalised to NFC first
// ("Bücher.de" gives "xn--bcher-kva.de", "faß.de" keeps its sharp s as "xn--fa-hia.de").
// A text of ASCII bytes only is returned byte for byte, letter case included, without
// asking libidn2: A-labels stay as typed, and ASCII texts that IDNA would refuse
// ("ab--cd.example", query flags with blanks) still go to the servers as they always did.
// On failure `name` is empty.
IdnResult ToLookupName(std::string_view typed);

// An A-label name in Unicode for display ("xn--e1afmkfd.xn--p1ai" gives "пример.рф");
// labels that are not A-labels are kept as they are. On failure `name` holds `aLabels`
// unchanged, so a caller may show it either way.
IdnResult ToDisplayName(std::string_view aLabels);

} // namespace tesseron
