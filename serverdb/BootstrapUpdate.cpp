#include "serverdb/BootstrapUpdate.h"

#include "desktop/AtomicFile.h"
#include "query/AbortHandle.h"
#include "serverdb/RegistryBlocks.h"

#include <algorithm>
#include <iterator>
#include <system_error>
#include <utility>

namespace tesseron {

std::string BootstrapAddress(std::string_view baseUrl, std::string_view name) {
    std::string url(baseUrl);
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    return url + "/" + std::string(name);
}

std::string BootstrapFileFault(std::string_view name, const std::filesystem::path& path) {
    std::string text;
    if (!ReadWholeFile(path, text)) return "the file cannot be read";
    RegistryBlocks probe;
    using T = RegistryBlocks::Table;
    std::string fault;
    std::size_t services = 0;
    if (name == "dns.json") {
        fault = probe.LoadDomains(text);
        services = probe.DomainCount();
    } else {
        static constexpr std::pair<std::string_view, T> kTables[] = {
            {"ipv4.json", T::IPv4}, {"ipv6.json", T::IPv6}, {"asn.json", T::Asn}};
        const auto* it = std::find_if(std::begin(kTables), std::end(kTables),
                                      [&](const auto& entry) { return entry.first == name; });
        if (it == std::end(kTables)) return "not a bootstrap file's name";
        fault = probe.Load(it->second, text);
        services = probe.Size(it->second);
    }
    if (!fault.empty()) return fault;
    // An empty list reads well but would leave every number or zone without a registry.
    return services == 0 ? "no service" : "";
}

BootstrapOutcome RefreshBootstrapFile(const BootstrapRefresh& refresh, std::string_view name,
                                      const std::function<void(int)>& progress,
                                      const AbortHandle* abort) {
    using R = BootstrapOutcome::Result;
    BootstrapOutcome out;
    out.name = name;
    out.url = BootstrapAddress(refresh.baseUrl, name);
    const auto path = refresh.folder / name;
    const auto temp = UpdateTempPath(path);
    std::error_code ec;
    std::filesystem::create_directories(refresh.folder, ec);
    try {
        if (ec) throw DownloadError(refresh.folder.string() + ": " + ec.message());
        if (!GetCheckedFile(out.url, temp, refresh.maxBytes, progress, abort, refresh.caFile,
                            &out.failure)) {
            out.result = abort && abort->Aborted() ? R::Aborted : R::NotFetched;
            return out;
        }
    } catch (const DownloadTooLarge& e) {
        out.result = R::TooLarge;
        out.detail = e.what();
        return out;
    } catch (const DownloadError& e) {
        out.result = R::WriteFailed;
        out.detail = e.what();
        return out;
    }
    out.detail = BootstrapFileFault(name, temp);
    if (!out.detail.empty()) {
        out.result = R::NotBootstrap;
        return out;
    }
    const auto inUse = refresh.inUse ? refresh.inUse(name) : path;
    out.result = InstallDownloadedFile(path, inUse) ? R::Installed : R::NotInstalled;
    return out;
}

std::vector<BootstrapOutcome> RefreshBootstrapFiles(const BootstrapRefresh& refresh,
                                                    const BootstrapProgress& report,
                                                    const AbortHandle* abort) {
    std::vector<BootstrapOutcome> outcomes;
    for (const std::string_view name : kBootstrapFileNames) {
        if (report.started) report.started(name, BootstrapAddress(refresh.baseUrl, name));
        outcomes.push_back(RefreshBootstrapFile(refresh, name, report.progress, abort));
        if (outcomes.back().result == BootstrapOutcome::Result::Aborted) break;
    }
    return outcomes;
}

} // namespace tesseron
