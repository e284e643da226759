#include "desktop/mapimail.h"

#include "desktop/Integration.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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

constexpr std::string_view kAttachmentFolderPrefix = "tesseron-mail-";

bool IsDirectory(const char* path) {
    struct stat st {};
    return path && path[0] == '/' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// A file name for the attachment that names the query: no folder separators, no control
// characters, no leading dot, at most 100 bytes, never splitting a UTF-8 sequence.
std::string AttachmentName(std::string_view query) {
    std::string name;
    for (const char c : query) {
        const auto byte = static_cast<unsigned char>(c);
        name += (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\') ? '_' : c;
    }
    std::size_t cut = std::min<std::size_t>(name.size(), 100);
    while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    name.resize(cut);
    while (!name.empty() && name.front() == '.')
        name.erase(0, 1);
    return (name.empty() ? std::string("answer") : name) + ".txt";
}

// Removes the attachment folders of earlier hand-overs that are older than the keep time;
// only real folders of ours, owned by this user, are touched.
void RemoveOldAttachments(const std::filesystem::path& base) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (const auto& entry : fs::directory_iterator(base, ec)) {
        const auto name = entry.path().filename().string();
        struct stat st {};
        if (!name.starts_with(kAttachmentFolderPrefix) || ::lstat(entry.path().c_str(), &st) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        std::error_code timeError;
        const auto written = fs::last_write_time(entry.path(), timeError);
        if (!timeError && now - written > kAttachmentKeep) fs::remove_all(entry.path(), timeError);
    }
}

// Writes `body` to "<query>.txt" in a new owner-only folder under `base`; nullopt when it
// cannot be done.
std::optional<std::filesystem::path>
WriteAttachment(const std::filesystem::path& base, std::string_view query, std::string_view body) {
    if (base.empty()) return std::nullopt;
    RemoveOldAttachments(base);
    std::string folder = (base / kAttachmentFolderPrefix).string() + "XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) return std::nullopt; // made 0700
    const auto path = std::filesystem::path(folder) / AttachmentName(query);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool written = fd >= 0;
    for (std::size_t done = 0; written && done < body.size();) {
        const ssize_t n = ::write(fd, body.data() + done, body.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<std::size_t>(n);
    }
    if (fd >= 0 && ::close(fd) != 0) written = false;
    if (!written) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        return std::nullopt;
    }
    return path;
}

// Whether a mail program took the message: from xdg-email with `argv`, else from a
// mailto: link with `text`.
bool HandOver(const MailLauncher& launcher, std::vector<std::string> argv,
              const std::string& subject, const std::string& text) {
    if (launcher.run) {
        const auto status = launcher.run(argv);
        if (status && (*status == 0 || *status == kStillRunning)) return true;
    }
    return launcher.openUrl && launcher.openUrl(MailToComposeUrl(subject, text));
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
    // The runtime folder is the user's own and goes at the end of the session.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* tmp = std::getenv("TMPDIR");
    launcher.attachmentDir = IsDirectory(runtime) ? runtime : IsDirectory(tmp) ? tmp : "/tmp";
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

std::string SendMail(const std::string& subject, const std::string& body, const std::string& query,
                     const MailLauncher& launcher) {
    const auto cleanSubject = WithoutZeroBytes(subject);
    const auto cleanBody = WithoutZeroBytes(body);
    if (cleanBody.size() <= kMailInlineLimit &&
        MailToComposeUrl(cleanSubject, cleanBody).size() <= kMailInlineLimit) {
        if (HandOver(launcher, {"xdg-email", "--subject", cleanSubject, "--body", cleanBody},
                     cleanSubject, cleanBody))
            return {};
        return MailErrorMessage(kMailUserAbort);
    }

    const auto attachment = WriteAttachment(launcher.attachmentDir, query, body);
    if (!attachment) return MailErrorMessage(kMailAttachmentWriteFailed);
    const auto cleanQuery = WithoutZeroBytes(query);
    const std::string note = "The WHOIS answer to the query " + cleanQuery +
                             " is in the attached file " + attachment->filename().string() + ".\n";
    // A mailto: link cannot carry a file: its note says where the answer is.
    const std::string pointer = "The WHOIS answer to the query " + cleanQuery +
                                " is too long for the message; it is saved in " +
                                attachment->string() + ".\n";
    if (HandOver(launcher,
                 {"xdg-email", "--subject", cleanSubject, "--body", note, "--attach",
                  attachment->string()},
                 cleanSubject, pointer))
        return {};
    std::error_code ec;
    std::filesystem::remove_all(attachment->parent_path(), ec); // nobody will read it
    return MailErrorMessage(kMailUserAbort);
}

} // namespace tesseron
