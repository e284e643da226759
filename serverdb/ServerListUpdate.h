#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace tesseron {

class AbortHandle;

// A download that could not be completed for a reason the user must hear about
// (the file could not be written, the body is too large).
class DownloadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The body passed the bound of the download.
class DownloadTooLarge : public DownloadError {
public:
    using DownloadError::DownloadError;
};

// Why a download brought nothing: the host it asked and what went wrong there.
struct DownloadFailure {
    // HttpError: the server answered with an error status (detail "HTTP 404"); only a
    // download that asks for a success status is refused so.
    enum class Reason { Refused, HostNotFound, TimedOut, Insecure, Empty, HttpError, Other };
    std::string host;
    Reason reason = Reason::Other;
    std::string detail; // the network library's own description
};

// The progress bar of the update dialog runs from 0 to this value.
inline constexpr int kDownloadProgressMax = 100;
// A server list is a few hundred kilobytes; anything far larger is not one.
inline constexpr std::uintmax_t kMaxDownloadBytes = 64u * 1024u * 1024u;

// The bar position after `total` bytes when the first delivery held `firstCount` bytes:
// total * 100 / firstCount rounded to the nearest integer, bounded to the bar's range.
int DownloadProgress(std::uintmax_t total, std::uintmax_t firstCount) noexcept;

// Downloads `url` (HTTP or HTTPS, the proxy from the usual environment variables) into
// `target`, written whatever the HTTP status and renamed into place at the end. Returns
// false, writing nothing, when the address cannot be opened, nothing arrives or `abort`
// is raised; `failure`, when given, then says why (not for an abort). A transfer that
// breaks off part-way still writes what arrived and returns true.
// `progress` is called on the calling thread with the bar position. HTTPS servers are
// checked against the system's certificate store, or against `caFile` when one is named.
// Throws DownloadError (DownloadTooLarge past kMaxDownloadBytes).
bool GetInetFile(const std::string& url, const std::filesystem::path& target,
                 const std::function<void(int)>& progress = {}, const AbortHandle* abort = nullptr,
                 const std::filesystem::path& caFile = {}, DownloadFailure* failure = nullptr);

// As GetInetFile, for a file whose error page must never be taken for it: a status other
// than 2xx writes nothing and returns false (Reason::HttpError), and the body is bounded
// by `maxBytes`.
bool GetCheckedFile(const std::string& url, const std::filesystem::path& target,
                    std::uintmax_t maxBytes, const std::function<void(int)>& progress = {},
                    const AbortHandle* abort = nullptr, const std::filesystem::path& caFile = {},
                    DownloadFailure* failure = nullptr);

// True when the file cannot be read as a server list or yields no top-level zone.
bool CorruptedWhoisFile(const std::filesystem::path& path);

// The download and backup files that sit beside the server list.
std::filesystem::path UpdateTempPath(const std::filesystem::path& listPath);
std::filesystem::path UpdateBackupPath(const std::filesystem::path& listPath);

// Keeps the list in use (`currentList`, or `listPath` when not given) as the backup of
// `listPath` (replacing an earlier one) and puts the download of `listPath` in its place.
// The list file exists throughout: the backup is a copy and the download replaces the
// list in one rename. Returns false when the list could not be replaced (a read-only file
// or a symbolic link in its place included); the list is then unchanged and the download
// stays where it was.
bool InstallServerList(const std::filesystem::path& listPath,
                       const std::filesystem::path& currentList = {});
// The same rules for any downloaded file: `path`'s temporary file replaces it, and the file
// in use (`current`, or `path`) becomes its backup.
bool InstallDownloadedFile(const std::filesystem::path& path,
                           const std::filesystem::path& current = {});

} // namespace tesseron
