#include "desktop/mapimail.h"

#include "desktop/Integration.h"

#include <array>
#include <string_view>

namespace tesseron {

namespace {

constexpr std::array<const char*, 27> kErrorTexts = {
    nullptr,
    "User cancelled request",
    "General MAPI failure",
    "Logon failure",
    "Disk full",
    "Insufficient memory",
    "Access denied",
    nullptr,
    "Too many sessions",
    "Too many files open",
    "Too many recipients",
    "Attachment not found",
    "Failed to open attachment",
    "Failed to write attachment",
    "Unknown recipient",
    "Invalid recipient type",
    "No messages",
    "Invalid message",
    "Text too large.",
    "Invalid session",
    "Type not supported",
    "Ambiguous recipient",
    "Message in use",
    "Network failure",
    "Invalid edit fields",
    "Invalid recipients",
    "Not supported",
};

void AppendEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (c == '\n' || c == '\r') {
            out += "%0D%0A";
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
}

// A command-line argument ends at a zero byte, so those are dropped rather than letting
// them cut the answer short.
std::string WithoutZeroBytes(std::string text) {
    std::erase(text, '\0');
    return text;
}

} // namespace

std::string MapiErrorText(int code) {
    if (code > 0 && code < static_cast<int>(kErrorTexts.size()) && kErrorTexts[code])
        return kErrorTexts[code];
    return "Unknown Error Code: " + std::to_string(code);
}

std::string MailErrorMessage(int code) {
    return "Unable to send email message.\n\nReason: MAPI triggered an error (" +
           MapiErrorText(code) + ").";
}

MailLauncher SystemMailLauncher() {
    MailLauncher launcher;
    launcher.run = [](const std::vector<std::string>& argv) {
        return RunProgram(argv, std::chrono::seconds(10));
    };
    return launcher;
}

std::string MailToComposeUrl(const std::string& subject, const std::string& body) {
    std::string url = "mailto:?subject=";
    AppendEscaped(url, subject);
    url += "&body=";
    AppendEscaped(url, body);
    return url;
}

std::string SendMail(const std::string& subject, const std::string& body,
                     const MailLauncher& launcher) {
    const auto cleanSubject = WithoutZeroBytes(subject);
    const auto cleanBody = WithoutZeroBytes(body);
    if (launcher.run) {
        const auto status =
            launcher.run({"xdg-email", "--subject", cleanSubject, "--body", cleanBody});
        if (status && (*status == 0 || *status == kStillRunning)) return {};
    }
    if (launcher.openUrl && launcher.openUrl(MailToComposeUrl(cleanSubject, cleanBody))) return {};
    return MailErrorMessage(kMailUserAbort);
}

} // namespace tesseron
