#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace tesseron::cli {

// Downloads the server list from `url`, checks that it reads as one and installs it at
// `installPath`, keeping `currentList` (the list in use) as its backup, as the window's
// update does. Progress and the outcome go to `log` as the run's lines do; returns false
// with `error` set to one sentence when nothing was installed.
bool UpdateServerList(const std::string& url, const std::filesystem::path& installPath,
                      const std::filesystem::path& currentList, std::ostream& log,
                      std::string& error);

} // namespace tesseron::cli
