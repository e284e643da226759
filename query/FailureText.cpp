#include "query/FailureText.h"

#include "locale/TextFormat.h"

#include <array>

namespace tesseron {

std::string ExplainFailure(const MessageTable& messages, FailureReason reason,
                           const std::string& server) {
    using M = MessageTable;
    // In the order of FailureReason; the download's reasons serve where they fit.
    static constexpr std::array<std::string M::*, 7> kWhy = {
        &M::sDownloadHostNotFound, &M::sDownloadRefused, &M::sDownloadTimedOut, &M::sExchangeProxy,
        &M::sExchangeUnsendable,   &M::sExchangeBroken,  &M::sExchangeTooLarge};
    return Format(messages.sExchangeFailedWith, server) + " " +
           messages.*kWhy[static_cast<std::size_t>(reason)];
}

} // namespace tesseron
