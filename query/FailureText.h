#pragma once

#include "locale/Language.h"
#include "query/Transport.h"

#include <string>

namespace tesseron {

// "The exchange with SERVER failed: REASON." in the selected language.
std::string ExplainFailure(const MessageTable& messages, FailureReason reason,
                           const std::string& server);

} // namespace tesseron
