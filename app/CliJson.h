#pragma once

#include "serverdb/uWhoisResultList.h"

#include <string>
#include <string_view>

namespace tesseron::cli {

// `text` as a JSON string, quotes included; control characters escaped. `text` must be
// UTF-8.
std::string JsonString(std::string_view text);

// What --json prints for an answer: an RDAP answer's JSON laid out as it came (one object,
// or [registry, registrar]); a port-43 answer wrapped, so a script always reads JSON:
// {"protocol": "whois", "server": ..., "query": ..., "answer": the text as UTF-8}.
// Ends with a newline.
std::string AnswerAsJson(const StoreRequest& answer);

} // namespace tesseron::cli
