#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tesseron {

inline constexpr const char* kMailSubject = "Tesseron Result";
// The code reported when no mail program took the message.
inline constexpr int kMailUserAbort = 1;
// The code reported when a long answer could not be written to its attachment.
inline constexpr int kMailAttachmentWriteFailed = 13;

// An answer whose mailto: form would be longer than this goes as an attached file with a
// short note instead: xdg-email and the mail programs behind it carry the message in one
// command-line argument, which the system refuses at 128 KiB, and escaping can make the
// text up to six times as long.
inline constexpr std::size_t kMailInlineLimit = 32 * 1024;
// Attachment folders older than this are removed when the next one is made: the mail
// program reads an attachment when it sends, which may be long after the hand-over.
inline constexpr std::chrono::hours kAttachmentKeep{24};

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
    // Where the owner-only folders of attachments are made; empty: long answers cannot
    // be sent.
    std::filesystem::path attachmentDir;
};

// The real launcher's `run` (xdg-email, waiting a few seconds) and attachment folder
// (the session's runtime folder, else the temporary folder); `openUrl` stays for the
// caller to fill.
MailLauncher SystemMailLauncher();

// "mailto:?subject=...&body=..." with every byte outside the unreserved set escaped and
// line ends as CR LF.
std::string MailToComposeUrl(const std::string& subject, const std::string& body);

// Opens a compose window with `subject` and `body`: xdg-email first, else a mailto: URL.
// A body too long for either goes as the attached file "<query>.txt", written to a new
// owner-only folder, with a short note naming `query` as the text. Returns "" when a mail
// program took the message, else the error message to show.
std::string SendMail(const std::string& subject, const std::string& body, const std::string& query,
                     const MailLauncher& launcher);

} // namespace tesseron
