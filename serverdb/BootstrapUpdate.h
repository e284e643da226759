#pragma once

#include "serverdb/ServerListUpdate.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tesseron {

class AbortHandle;

// The registries' bootstrap files, in the order the update refreshes them.
inline constexpr std::array<std::string_view, 4> kBootstrapFileNames = {"dns.json", "ipv4.json",
                                                                        "ipv6.json", "asn.json"};
// Each file is well under a megabyte; one far larger is not a bootstrap file.
inline constexpr std::uintmax_t kMaxBootstrapBytes = 8u * 1024u * 1024u;

// Where the refresh fetches the bootstrap files from and where it installs them.
struct BootstrapRefresh {
    std::string baseUrl;          // the file names are appended ("https://host/rdap/")
    std::filesystem::path folder; // created when missing; holds the files, .tmp and .backup
    // The file of that name in use now, which becomes the backup (a shipped copy, say);
    // when empty, the one in `folder`.
    std::function<std::filesystem::path(std::string_view name)> inUse;
    std::filesystem::path caFile; // trusted instead of the system's store when named
    std::uintmax_t maxBytes = kMaxBootstrapBytes;
};

// How the refresh of one file ended. Anything but Installed leaves the file in use and its
// backup as they were.
struct BootstrapOutcome {
    enum class Result {
        Installed,
        NotFetched,   // nothing usable arrived: `failure` says where from and why
        TooLarge,     // the body passed the bound
        WriteFailed,  // the folder or the temporary file could not be written: `detail`
        NotBootstrap, // the download is kept as the temporary file; `detail` is the fault
        NotInstalled, // the file in use could not be replaced
        Aborted,
    };
    std::string name; // "dns.json"
    std::string url;  // the address asked
    Result result = Result::Aborted;
    DownloadFailure failure;
    std::string detail;
};

// The base address joined with a file name, with exactly one '/' between them.
std::string BootstrapAddress(std::string_view baseUrl, std::string_view name);

// Why the file at `path` is no usable bootstrap file of the kind its name says (dns.json
// zones, ipv4.json IPv4 networks, ...): unreadable, not one of the four names, a fault of
// the registries' reader, or no service at all. "" for a usable file.
std::string BootstrapFileFault(std::string_view name, const std::filesystem::path& path);

// Downloads one file into its temporary file, checks it and installs it with a backup.
// `progress` gets the bar position of this file's download.
BootstrapOutcome RefreshBootstrapFile(const BootstrapRefresh& refresh, std::string_view name,
                                      const std::function<void(int)>& progress = {},
                                      const AbortHandle* abort = nullptr);

// What the refresh of the four files reports while it runs (on the calling thread).
struct BootstrapProgress {
    std::function<void(std::string_view name, const std::string& url)> started;
    std::function<void(int)> progress;
};

// Refreshes the four files in turn, each on its own: one that fails does not stop the
// others. An abort ends the run; the outcomes so far are returned, the aborted one last.
std::vector<BootstrapOutcome> RefreshBootstrapFiles(const BootstrapRefresh& refresh,
                                                    const BootstrapProgress& report = {},
                                                    const AbortHandle* abort = nullptr);

} // namespace tesseron
