#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tesseron {

// Raised by callers that report a failed hand-over as an error.
class tMailFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kMailSubject = "Tesseron Result";
// The code reported when no mail program took the message.
inline constexpr int kMailUserAbort = 1;

// The fixed English text of a mail hand-over error code (1..26, 7 excepted); any other
// code gives "Unknown Error Code: <code>".
std::string MapiErrorText(int code);
// "Unable to send email message.\n\nReason: MAPI triggered an error (<text>)."
std::string MailErrorMessage(int code);

// How a message reaches the user's mail program; seams for tests.
struct MailLauncher {
    // Runs a program without a shell: nullopt when it could not be started, else its exit
    // status (kStillRunning counts as taken).
    std::function<std::optional<int>(const std::vector<std::string>& argv)> run;
    // Hands a URL to the desktop; true when something took it.
    std::function<bool(const std::string& url)> openUrl;
};

// The real launcher's `run` (xdg-email, waiting a few seconds); `openUrl` stays for the
// caller to fill.
MailLauncher SystemMailLauncher();

// "mailto:?subject=...&body=..." with every byte outside the unreserved set escaped and
// line ends as CR LF.
std::string MailToComposeUrl(const std::string& subject, const std::string& body);

// Opens a compose window with `subject` and `body`: xdg-email first, else a mailto: URL.
// Returns "" when a mail program took the message, else the error message to show.
std::string SendMail(const std::string& subject, const std::string& body,
                     const MailLauncher& launcher);

} // namespace tesseron
