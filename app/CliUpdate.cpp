#include "app/CliUpdate.h"

#include "serverdb/ServerListUpdate.h"

#include <filesystem>
#include <ostream>

namespace tesseron::cli {
namespace {

std::string WhyNothingCame(const DownloadFailure& failure) {
    using R = DownloadFailure::Reason;
    std::string why;
    switch (failure.reason) {
    case R::Refused:
        why = "the connection was refused";
        break;
    case R::HostNotFound:
        why = "the host was not found";
        break;
    case R::TimedOut:
        why = "it did not answer in time";
        break;
    case R::Insecure:
        why = "its certificate is not trusted";
        break;
    case R::Empty:
        why = "it sent nothing";
        break;
    case R::HttpError:
        why = "it answered with an error (" + failure.detail + ")";
        break;
    case R::Other:
        why = failure.detail.empty() ? "the download failed" : failure.detail;
        break;
    }
    return failure.host.empty() ? why : failure.host + ": " + why;
}

} // namespace

bool UpdateServerList(const std::string& url, const std::filesystem::path& installPath,
                      const std::filesystem::path& currentList, std::ostream& log,
                      std::string& error) {
    const auto fail = [&](const std::string& why) {
        error = "The server list was not updated: " + why + ".";
        return false;
    };
    if (url.empty()) return fail("no address to download it from");
    log << "I Downloading the server list from " << url << '\n';
    const auto temp = UpdateTempPath(installPath);
    try {
        DownloadFailure failure;
        if (!GetInetFile(url, temp, {}, nullptr, {}, &failure))
            return fail("nothing could be fetched from " + WhyNothingCame(failure));
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    if (CorruptedWhoisFile(temp)) {
        std::error_code ec;
        std::filesystem::remove(temp, ec); // never left where a later update would take it
        return fail("what " + url + " sent is not a server list");
    }
    if (!InstallServerList(installPath, currentList))
        return fail(installPath.string() + " could not be replaced");
    log << "I The server list " << installPath.string() << " was updated\n";
    return true;
}

} // namespace tesseron::cli
