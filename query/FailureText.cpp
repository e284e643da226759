#include "query/FailureText.h"

#include "locale/TextFormat.h"

namespace tesseron {

std::string ExplainFailure(const MessageTable& messages, FailureReason reason,
                           const std::string& server) {
    const std::string* why = &messages.sExchangeBroken;
    switch (reason) {
    case FailureReason::HostNotFound:
        why = &messages.sDownloadHostNotFound;
        break;
    case FailureReason::Refused:
        why = &messages.sDownloadRefused;
        break;
    case FailureReason::TimedOut:
        why = &messages.sDownloadTimedOut;
        break;
    case FailureReason::Proxy:
        why = &messages.sExchangeProxy;
        break;
    case FailureReason::Unsendable:
        why = &messages.sExchangeUnsendable;
        break;
    case FailureReason::TooLarge:
        why = &messages.sExchangeTooLarge;
        break;
    case FailureReason::Broken:
        break;
    }
    return Format(messages.sExchangeFailedWith, server) + " " + *why;
}

} // namespace tesseron
