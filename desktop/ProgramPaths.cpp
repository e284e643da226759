#include "desktop/ProgramPaths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tesseron {

std::filesystem::path ProgramPaths::ServerListFile() const {
    std::error_code ec;
    const auto updated = UpdatedServerListFile();
    if (!updated.empty() && writableDir != dataDir && std::filesystem::exists(updated, ec))
        return updated;
    return dataDir / "whois.xml";
}

std::filesystem::path ProgramPaths::RdapFile(std::string_view name) const {
    std::error_code ec;
    if (!writableDir.empty() && writableDir != dataDir) {
        const auto updated = writableDir / "rdap" / name;
        if (std::filesystem::exists(updated, ec)) return updated;
    }
    return dataDir / "rdap" / name;
}

namespace {

std::string Refusal(const std::filesystem::path& dir, const std::string& why) {
    return "The folder " + dir.string() + " is not used for the settings and results: " + why;
}

// Why the existing folder `st` describes may not hold our files, or "".
std::string FolderFault(const struct stat& st, bool checkOwner) {
    if (!S_ISDIR(st.st_mode)) return "it is not a folder";
    if (!checkOwner) return {};
    if (st.st_uid != ::geteuid()) return "it belongs to another user";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "other users may write in it";
    return {};
}

} // namespace

void ProgramPaths::EnsureWritableDir() const {
    if (!writableDirProblem.empty()) throw std::runtime_error(writableDirProblem);
    const auto refuse = [this](const std::string& why) {
        throw std::runtime_error(Refusal(writableDir, why));
    };
    // Followed when it is a link (a folder kept elsewhere): what counts is the folder.
    struct stat st {};
    if (::stat(writableDir.c_str(), &st) != 0) {
        if (errno != ENOENT) refuse(std::strerror(errno));
        std::error_code ec;
        if (writableDir.has_parent_path())
            std::filesystem::create_directories(writableDir.parent_path(), ec);
        // Never more open than the owner's, whatever the umask.
        if (::mkdir(writableDir.c_str(), 0700) != 0 && errno != EEXIST)
            refuse(std::string("it cannot be created (") + std::strerror(errno) + ")");
        if (::stat(writableDir.c_str(), &st) != 0) refuse(std::strerror(errno));
    }
    if (const auto fault = FolderFault(st, checkWritableDirOwner); !fault.empty()) refuse(fault);
}

ProgramPaths ProgramPaths::Vetted() const {
    struct stat st {};
    if (!writableDirProblem.empty() || ::stat(writableDir.c_str(), &st) != 0) return *this;
    const auto fault = FolderFault(st, checkWritableDirOwner);
    if (fault.empty()) return *this;
    ProgramPaths vetted = *this;
    vetted.writableDirProblem = Refusal(writableDir, fault);
    vetted.writableDir.clear();
    return vetted;
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
    paths.checkWritableDirOwner = true;
    // An XDG_CONFIG_HOME that is not absolute is to be ignored; so is a relative HOME.
    std::filesystem::path config = env.xdgConfigHome;
    if (config.empty() || !config.is_absolute()) {
        const std::filesystem::path home = env.home;
        if (home.empty() || !home.is_absolute()) {
            paths.writableDirProblem =
                "The settings and results cannot be kept: neither HOME nor XDG_CONFIG_HOME "
                "names a folder to keep them in.";
            return paths;
        }
        config = home / ".config";
    }
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
    const auto dir = exe.parent_path();
    // An installed copy (no server list beside it, the data in ../share/tesseron) never
    // writes into its own folder, even when it may: root may write in /usr/bin.
    std::error_code ec;
    const bool installed = !std::filesystem::exists(dir / "whois.xml", ec) &&
                           std::filesystem::is_directory(dir / ".." / "share" / "tesseron", ec);
    const bool writable = !installed && ::access(dir.c_str(), W_OK) == 0;
    return Locate(exe, Environment::FromProcess(), writable).Vetted();
}

} // namespace tesseron
