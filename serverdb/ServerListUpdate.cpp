#include "serverdb/ServerListUpdate.h"

#include "desktop/AtomicFile.h"
#include "query/HttpClient.h"
#include "serverdb/uDomainList.h"

#include <cmath>
#include <system_error>

namespace tesseron {
namespace {

DownloadFailure::Reason ReasonOf(HttpFailure failure) {
    using R = DownloadFailure::Reason;
    switch (failure) {
    case HttpFailure::None:
        return R::Empty;
    case HttpFailure::Refused:
        return R::Refused;
    case HttpFailure::HostNotFound:
        return R::HostNotFound;
    case HttpFailure::TimedOut:
        return R::TimedOut;
    case HttpFailure::Insecure:
        return R::Insecure;
    default:
        return R::Other;
    }
}

} // namespace

int DownloadProgress(std::uintmax_t total, std::uintmax_t firstCount) noexcept {
    if (firstCount == 0) return 0;
    const long double value = std::round(static_cast<long double>(total) * 100.0L / firstCount);
    return value >= kDownloadProgressMax ? kDownloadProgressMax : static_cast<int>(value);
}

namespace {

bool Fetch(const std::string& url, const std::filesystem::path& target, std::uintmax_t maxBytes,
           bool successOnly, const std::function<void(int)>& progress, const AbortHandle* abort,
           const std::filesystem::path& caFile, DownloadFailure* failure) {
    HttpRequest request; // no proxy of the settings: the environment's, if any
    request.url = url;
    request.caFile = caFile;
    request.limits.maxBodyBytes = maxBytes;
    // The first delivery is what was available at once; progress is measured against it.
    std::size_t firstCount = 0;
    if (progress)
        request.progress = [&](std::size_t piece, std::size_t total) {
            if (firstCount == 0) firstCount = piece;
            if (firstCount > 0) progress(DownloadProgress(total, firstCount));
        };
    HttpResponse response;
    try {
        response = HttpGet(request, abort);
    } catch (const std::runtime_error& e) {
        throw DownloadError(e.what());
    }
    if (response.failure == HttpFailure::TooLarge) {
        const bool mebibytes = maxBytes >= 1024 * 1024;
        throw DownloadTooLarge("The download is larger than " +
                               std::to_string(mebibytes ? maxBytes / (1024 * 1024) : maxBytes) +
                               (mebibytes ? " MiB." : " bytes."));
    }
    if (response.failure == HttpFailure::Aborted) return false;
    const bool refusedStatus = successOnly && response.failure == HttpFailure::None &&
                               (response.status < 200 || response.status > 299);
    // A transfer that fails part-way keeps what arrived: the corruption check judges it.
    if (response.body.empty() || refusedStatus) {
        if (failure) {
            failure->host = response.host;
            failure->reason =
                refusedStatus ? DownloadFailure::Reason::HttpError : ReasonOf(response.failure);
            failure->detail = response.failure == HttpFailure::None
                                  ? "HTTP " + std::to_string(response.status)
                                  : response.detail;
        }
        return false;
    }
    try {
        WriteFileAtomically(target, response.body);
    } catch (const FileWriteError& e) {
        throw DownloadError(e.what());
    }
    return true;
}

} // namespace

bool GetInetFile(const std::string& url, const std::filesystem::path& target,
                 const std::function<void(int)>& progress, const AbortHandle* abort,
                 const std::filesystem::path& caFile, DownloadFailure* failure) {
    return Fetch(url, target, kMaxDownloadBytes, false, progress, abort, caFile, failure);
}

bool GetCheckedFile(const std::string& url, const std::filesystem::path& target,
                    std::uintmax_t maxBytes, const std::function<void(int)>& progress,
                    const AbortHandle* abort, const std::filesystem::path& caFile,
                    DownloadFailure* failure) {
    return Fetch(url, target, maxBytes, true, progress, abort, caFile, failure);
}

bool CorruptedWhoisFile(const std::filesystem::path& path) {
    try {
        TDomainCollection probe;
        probe.LoadFromFile(path.string());
        // Zones without a suffix are not kept by the load, and sub-zones do not count.
        return probe.Count() == 0;
    } catch (...) {
        return true;
    }
}

std::filesystem::path UpdateTempPath(const std::filesystem::path& listPath) {
    return std::filesystem::path(listPath.string() + ".tmp");
}

std::filesystem::path UpdateBackupPath(const std::filesystem::path& listPath) {
    return std::filesystem::path(listPath.string() + ".backup");
}

bool InstallServerList(const std::filesystem::path& listPath,
                       const std::filesystem::path& currentList) {
    return InstallDownloadedFile(listPath, currentList);
}

bool InstallDownloadedFile(const std::filesystem::path& listPath,
                           const std::filesystem::path& currentList) {
    std::error_code ec;
    const auto temp = UpdateTempPath(listPath);
    const auto inUse = currentList.empty() ? listPath : currentList;
    if (!std::filesystem::exists(temp, ec)) return false;
    try {
        CheckReplaceable(listPath);
    } catch (const FileWriteError&) {
        return false;
    }
    if (std::filesystem::exists(inUse, ec)) {
        // A copy, not a rename, so the list never goes missing between two renames.
        std::string current;
        if (!ReadWholeFile(inUse, current)) return false;
        try {
            WriteFileAtomically(UpdateBackupPath(listPath), current);
        } catch (const FileWriteError&) {
            return false;
        }
    }
    std::filesystem::rename(temp, listPath, ec);
    return !ec;
}

} // namespace tesseron
