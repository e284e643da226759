#include "desktop/ProgramPaths.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace tesseron {

std::filesystem::path ProgramPaths::ServerListFile() const {
    std::error_code ec;
    const auto updated = UpdatedServerListFile();
    if (writableDir != dataDir && std::filesystem::exists(updated, ec)) return updated;
    return dataDir / "whois.xml";
}

void ProgramPaths::EnsureWritableDir() const {
    if (std::filesystem::is_directory(writableDir)) return;
    std::filesystem::create_directories(writableDir);
    std::filesystem::permissions(writableDir, std::filesystem::perms::owner_all);
}

ProgramPaths::Environment ProgramPaths::Environment::FromProcess() {
    Environment env;
    if (const char* v = std::getenv("XDG_CONFIG_HOME")) env.xdgConfigHome = v;
    if (const char* v = std::getenv("HOME")) env.home = v;
    return env;
}

ProgramPaths ProgramPaths::Locate(const std::filesystem::path& executable, const Environment& env,
                                  bool programDirWritable) {
    ProgramPaths paths;
    paths.programDir = executable.parent_path();
    if (programDirWritable) {
        paths.dataDir = paths.programDir;
        paths.writableDir = paths.programDir;
        return paths;
    }
    std::error_code ec;
    const auto share = (paths.programDir / ".." / "share" / "tesseron").lexically_normal();
    paths.dataDir = std::filesystem::is_directory(share, ec) ? share : paths.programDir;
    // An XDG_CONFIG_HOME that is not absolute is to be ignored.
    std::filesystem::path config = env.xdgConfigHome;
    if (config.empty() || !config.is_absolute())
        config = std::filesystem::path(env.home.empty() ? "/tmp" : env.home) / ".config";
    paths.writableDir = config / "tesseron";
    return paths;
}

std::filesystem::path ExecutablePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) p = std::filesystem::current_path(ec) / "tesseron";
    return p;
}

ProgramPaths ProgramPaths::ForThisProcess() {
    const auto exe = ExecutablePath();
    const bool writable = ::access(exe.parent_path().c_str(), W_OK) == 0;
    return Locate(exe, Environment::FromProcess(), writable);
}

} // namespace tesseron
