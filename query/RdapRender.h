#pragma once

// An RDAP answer (JSON) as a person reads it: the familiar "Label: value" lines of a
// port-43 answer. The JSON itself is kept beside the text; these only present it.

#include <string>
#include <string_view>

namespace tesseron {

// JSON nested deeper than this is not read (neither rendered nor laid out).
inline constexpr int kRdapMaxDepth = 128;

// The lines of a domain, network, AS number, entity or name server answer: the object's
// fields, its entities by role (from their jCards), redacted fields, then its remarks
// and the notices with their links; one "Label: value" per line, each ending in "\n".
// Values lose their control characters. Members of an unexpected type are passed over.
// "" when `json` is not a JSON object within the depth bound.
std::string RenderRdap(std::string_view json);

// `json` laid out with two-space indents, every token as the server wrote it; `json`
// unchanged when it is not valid JSON within the depth bound.
std::string PrettyRdapJson(std::string_view json);

} // namespace tesseron
