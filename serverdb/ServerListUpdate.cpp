#include "serverdb/ServerListUpdate.h"

#include "desktop/AtomicFile.h"
#include "serverdb/uDomainList.h"

#include <curl/curl.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <mutex>
#include <system_error>

namespace tesseron {
namespace {

struct CurlDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};

// curl_global_init is not thread-safe in every libcurl build, so it runs once.
void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw DownloadError("The network library could not be initialised.");
    });
}

struct Transfer {
    std::string body;
    std::uintmax_t firstCount = 0;
    const std::function<void(int)>* progress = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    bool tooLarge = false;
};

bool Cancelled(const Transfer& t) {
    return t.cancel && t.cancel->load();
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (Cancelled(t)) return 0;
    if (t.body.size() + n > kMaxDownloadBytes) {
        t.tooLarge = true;
        return 0;
    }
    // The first delivery is what was available at once; progress is measured against it.
    if (t.firstCount == 0) t.firstCount = n;
    t.body.append(data, n);
    if (*t.progress && t.firstCount > 0)
        (*t.progress)(DownloadProgress(t.body.size(), t.firstCount));
    return n;
}

int OnTick(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return Cancelled(*static_cast<Transfer*>(user)) ? 1 : 0;
}

// The host part of an address, or the address itself when it has none.
std::string HostOf(const std::string& url) {
    std::string host = url;
    if (CURLU* u = curl_url()) {
        char* part = nullptr;
        if (curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_HOST, &part, 0) == CURLUE_OK && part && *part)
            host = part;
        curl_free(part);
        curl_url_cleanup(u);
    }
    return host;
}

DownloadFailure Describe(CURL* h, CURLcode code, const std::string& url, const char* details) {
    DownloadFailure f;
    char* effective = nullptr; // after redirects, the host that failed
    curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective);
    f.host = HostOf(effective && *effective ? effective : url);
    f.detail = details && *details ? details : curl_easy_strerror(code);
    long osError = 0;
    curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osError);
    using R = DownloadFailure::Reason;
    switch (code) {
    case CURLE_OK: {
        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        f.reason = R::Empty;
        f.detail = "HTTP " + std::to_string(status);
        break;
    }
    case CURLE_COULDNT_CONNECT:
        f.reason = osError == ECONNREFUSED ? R::Refused : R::Other;
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        f.reason = R::HostNotFound;
        break;
    case CURLE_OPERATION_TIMEDOUT:
        f.reason = R::TimedOut;
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
        f.reason = R::Insecure;
        break;
    default:
        f.reason = R::Other;
        break;
    }
    return f;
}

} // namespace

int DownloadProgress(std::uintmax_t total, std::uintmax_t firstCount) noexcept {
    if (firstCount == 0) return 0;
    const long double value = std::round(static_cast<long double>(total) * 100.0L / firstCount);
    return value >= kDownloadProgressMax ? kDownloadProgressMax : static_cast<int>(value);
}

bool GetInetFile(const std::string& url, const std::filesystem::path& target,
                 const std::function<void(int)>& progress, const std::atomic<bool>* cancel,
                 const std::filesystem::path& caFile, DownloadFailure* failure) {
    InitCurlOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) throw DownloadError("The network library could not start a transfer.");

    Transfer t;
    t.progress = &progress;
    t.cancel = cancel;
    CURL* h = curl.get();
    // No proxy option is set: libcurl then takes it from http_proxy, https_proxy, all_proxy
    // and no_proxy, the usual environment variables.
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Tesseron");
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    // A stalled server must not keep the dialog busy for ever.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnTick);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    if (!caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str());
    char details[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, details);

    // A transfer that fails part-way keeps what arrived: the corruption check judges it.
    const CURLcode code = curl_easy_perform(h);
    if (t.tooLarge)
        throw DownloadError("The download is larger than " +
                            std::to_string(kMaxDownloadBytes / (1024 * 1024)) + " MiB.");
    if (Cancelled(t)) return false;
    if (t.body.empty()) {
        if (failure) *failure = Describe(h, code, url, details);
        return false;
    }
    try {
        WriteFileAtomically(target, t.body);
    } catch (const FileWriteError& e) {
        throw DownloadError(e.what());
    }
    return true;
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
