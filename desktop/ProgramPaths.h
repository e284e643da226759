#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tesseron {

// Where the program's files live. Run in place (the executable's folder is writable, as
// in a build folder) everything sits beside the executable. An installed copy keeps its
// writable files in $XDG_CONFIG_HOME/tesseron (default ~/.config/tesseron) and finds its
// read-only data in ../share/tesseron.
struct ProgramPaths {
    std::filesystem::path programDir;  // the executable's folder
    std::filesystem::path dataDir;     // read-only data: the shipped server list, languages/
    std::filesystem::path writableDir; // settings, results, an updated server list
    // Set when no writable folder could be named (no HOME, no XDG_CONFIG_HOME): the text
    // for the user. writableDir and the files in it are then empty paths, which read as
    // missing and are never written.
    std::string writableDirProblem;
    // The per-user folder must be the user's own and closed to others; a program folder
    // written in place is trusted as the executable beside it is.
    bool checkWritableDirOwner = false;

    std::filesystem::path SettingsFile() const { return InWritableDir("tesseron.ini"); }
    std::filesystem::path ResultsFile() const { return InWritableDir("whois_result.xml"); }
    // The server list in use: an updated copy in the writable folder wins over the one
    // that came with the program.
    std::filesystem::path ServerListFile() const;
    // Where the update installs a new server list.
    std::filesystem::path UpdatedServerListFile() const { return InWritableDir("whois.xml"); }
    std::filesystem::path LanguagesDir() const { return dataDir / "languages"; }
    // A file of the registries' bootstrap data ("ipv4.json"): an updated copy in the
    // writable folder's "rdap" folder wins over the one that came with the program.
    std::filesystem::path RdapFile(std::string_view name) const;
    // Where the update installs refreshed bootstrap files.
    std::filesystem::path UpdatedRdapFolder() const { return InWritableDir("rdap"); }
    // Creates the writable folder (mode 0700) when it is missing; refuses one that another
    // user owns or that group or others may write. Throws std::runtime_error with a text
    // for the user.
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
    // These paths, or, when the writable folder exists but is refused (see
    // EnsureWritableDir), paths without one: its files are then neither read nor written,
    // and the shipped server list is used, so another user cannot plant any of them.
    ProgramPaths Vetted() const;
    // The running executable's paths, from /proc/self/exe and the process environment,
    // vetted.
    static ProgramPaths ForThisProcess();

private:
    std::filesystem::path InWritableDir(const char* name) const {
        return writableDir.empty() ? std::filesystem::path() : writableDir / name;
    }
};

std::filesystem::path ExecutablePath();

} // namespace tesseron
