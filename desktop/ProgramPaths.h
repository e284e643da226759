#pragma once

#include <filesystem>
#include <string>

namespace tesseron {

// Where the program's files live. Run in place (the executable's folder is writable, as
// in a build folder) everything sits beside the executable. An installed copy keeps its
// writable files in $XDG_CONFIG_HOME/tesseron (default ~/.config/tesseron) and finds its
// read-only data in ../share/tesseron.
struct ProgramPaths {
    std::filesystem::path programDir;  // the executable's folder
    std::filesystem::path dataDir;     // read-only data: the shipped server list, languages/
    std::filesystem::path writableDir; // settings, results, an updated server list

    std::filesystem::path SettingsFile() const { return writableDir / "tesseron.ini"; }
    std::filesystem::path ResultsFile() const { return writableDir / "whois_result.xml"; }
    // The server list in use: an updated copy in the writable folder wins over the one
    // that came with the program.
    std::filesystem::path ServerListFile() const;
    // Where the update installs a new server list.
    std::filesystem::path UpdatedServerListFile() const { return writableDir / "whois.xml"; }
    std::filesystem::path LanguagesDir() const { return dataDir / "languages"; }
    // Creates the writable folder (owner-only) when it is missing. Throws
    // std::filesystem::filesystem_error.
    void EnsureWritableDir() const;

    struct Environment {
        std::string xdgConfigHome;
        std::string home;
        static Environment FromProcess();
    };

    // `writable` tells whether the executable's folder accepts new files; injected so tests
    // can decide it.
    static ProgramPaths Locate(const std::filesystem::path& executable, const Environment& env,
                               bool programDirWritable);
    // The running executable's paths, from /proc/self/exe and the process environment.
    static ProgramPaths ForThisProcess();
};

std::filesystem::path ExecutablePath();

} // namespace tesseron
