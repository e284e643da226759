// The installed programs as a user runs them: `cmake --install` into a temporary prefix,
// the programs started from there with a home of their own.
#include "desktop/UniqueFd.h"
#include "serverdb/HttpTestServer.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using namespace tesseron::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

Launch Program(std::vector<std::string> argv, std::vector<std::string> env = {}) {
    Launch launch;
    launch.argv = std::move(argv);
    launch.env = std::move(env);
    return launch;
}

// One installation for every test of the program: installing takes a moment.
const TempDir& Prefix() {
    static const TempDir prefix;
    static const bool installed = [] {
        const auto r =
            RunCaptured(Program({TESSERON_CMAKE_COMMAND, "--install", TESSERON_BINARY_DIR,
                                 "--prefix", prefix.path().string()}),
                        60s);
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        return true;
    }();
    (void)installed;
    return prefix;
}

bool OnPath(const std::string& tool) {
    return RunCaptured(Program({"sh", "-c", "command -v " + tool}), 10s).exitCode == 0;
}

// A user of the installed copy: a home and a runtime folder of their own, a settings file
// that keeps every run on loopback.
class User {
public:
    User() {
        fs::create_directories(home_ / "config" / "tesseron");
        fs::permissions(home_ / "config" / "tesseron", fs::perms::owner_all);
        fs::create_directory(home_ / "runtime");
        fs::permissions(home_ / "runtime", fs::perms::owner_all);
        Settings("");
    }
    fs::path ConfigDir() const { return home_ / "config" / "tesseron"; }
    void Settings(const std::string& more) const {
        home_.Write("config/tesseron/tesseron.ini",
                    "[Defaults]\nDetermineIpAddress=0\nDetermineReverseName=0\n" + more);
    }
    // Downloads anywhere but loopback go to a closed proxy port, so that a fault can never
    // send the resolver a real name (the proxy is asked, not the resolver).
    std::vector<std::string> Env() const {
        return {"HOME=" + home_.path().string(),
                "XDG_CONFIG_HOME=" + (home_ / "config").string(),
                "XDG_RUNTIME_DIR=" + (home_ / "runtime").string(),
                "QT_QPA_PLATFORM=offscreen",
                "http_proxy=http://127.0.0.1:9",
                "https_proxy=http://127.0.0.1:9",
                "no_proxy=127.0.0.1"};
    }
    Captured Cli(std::vector<std::string> args) const {
        args.insert(args.begin(), (Prefix() / "bin" / "tesseron-cli").string());
        return RunCaptured(Program(std::move(args), Env()), 20s);
    }
    const TempDir& home() const { return home_; }

private:
    TempDir home_;
};

// Every file under `dir`, relative to it, sorted.
std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (!e.is_directory()) files.push_back(fs::relative(e.path(), dir).string());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Install, PutsEachFileWhereTheDesktopLooksAndTheMetadataValidates) {
    const auto& prefix = Prefix();
    for (const char* path : {
             "bin/tesseron",
             "bin/tesseron-cli",
             "share/tesseron/whois.xml",
             "share/tesseron/rdap/asn.json",
             "share/tesseron/rdap/dns.json",
             "share/tesseron/rdap/ipv4.json",
             "share/tesseron/rdap/ipv6.json",
             "share/tesseron/languages/english.lng",
             "share/tesseron/languages/russian.lng",
             "share/tesseron/icons/tesseron.svg",
             "share/tesseron/tesseron.htm",
             "share/tesseron/history.txt",
             "share/applications/io.github.tesseron.Tesseron.desktop",
             "share/metainfo/io.github.tesseron.Tesseron.metainfo.xml",
             "share/icons/hicolor/scalable/apps/tesseron.svg",
             "share/icons/hicolor/48x48/apps/tesseron.png",
             "share/man/man1/tesseron.1.gz",
             "share/man/man1/tesseron-cli.1.gz",
             "share/bash-completion/completions/tesseron-cli",
             "share/doc/tesseron/copyright",
         })
        EXPECT_TRUE(fs::is_regular_file(prefix / path)) << path;
    EXPECT_EQ(fs::status(prefix / "bin/tesseron-cli").permissions() & fs::perms::others_exec,
              fs::perms::others_exec);

    const auto desktop =
        (prefix / "share/applications/io.github.tesseron.Tesseron.desktop").string();
    const std::string entry = ReadFile(desktop);
    for (const char* line : {"MimeType=x-scheme-handler/whois;", "Name[ru]=", "Comment[ru]=",
                             "Categories=", "Exec=tesseron %u", "Icon=tesseron"})
        EXPECT_NE(entry.find(line), std::string::npos) << line;
    const struct {
        const char* tool;
        std::vector<std::string> argv;
    } validators[] = {
        {"desktop-file-validate", {"desktop-file-validate", desktop}},
        {"appstreamcli",
         {"appstreamcli", "validate", "--no-net",
          (prefix / "share/metainfo/io.github.tesseron.Tesseron.metainfo.xml").string()}},
        // The manual pages render without a complaint from the formatter.
        {"groff",
         {"sh", "-c",
          "for p in " + (prefix / "share/man/man1").string() +
              "/*.1.gz; do zcat \"$p\" | groff -man -Tutf8 -ww -z || exit 1; done"}},
    };
    for (const auto& v : validators) {
        if (!OnPath(v.tool)) {
            ADD_FAILURE() << v.tool << " is missing: run scripts/setup-deps.sh";
            continue;
        }
        const auto r = RunCaptured(Program(v.argv), 60s);
        EXPECT_EQ(r.exitCode, 0) << v.tool << ":\n" << r.out << r.err;
        if (std::string(v.tool) == "groff") {
            EXPECT_EQ(r.err, "");
        }
    }
}

TEST(Install, CliReadsTheSharedDataAndKeepsAnUpdateInTheUsersFolder) {
    const auto before = Listing(Prefix().path());
    const User user;
    // The shipped list and RDAP bootstrap, from share/tesseron.
    const std::string rdap = "https://rdap.verisign.com/com/v1/\t\n";
    auto r = user.Cli({"--servers", "example.com"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "whois.verisign-grs.com\tdomain \n" + rdap);

    const std::string list = "<w><domains><z><suffix>.com</suffix><servers>"
                             "<s><address>whois.updated.test</address></s>"
                             "</servers></z></domains></w>";
    HttpServer http({{"/whois.xml", {200, {list}}}, {"/broken.xml", {200, {"<not a list"}}}});
    user.Settings("[Default]\nWhoisFileLink=" + http.Url("/whois.xml") + "\n");
    // Something else than a list is refused and changes nothing.
    r = user.Cli({"--update-server-list", http.Url("/broken.xml")});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_FALSE(fs::exists(user.ConfigDir() / "whois.xml"));
    // The settings' address; the shipped list is kept as the backup.
    r = user.Cli({"--update-server-list"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(user.ConfigDir() / "whois.xml"), list);
    EXPECT_EQ(ReadFile(user.ConfigDir() / "whois.xml.backup"),
              ReadFile(Prefix() / "share/tesseron/whois.xml"));
    r = user.Cli({"--servers", "example.com"});
    EXPECT_EQ(r.out, "whois.updated.test\t\n" + rdap) << r.err;

    // A folder another user may write in is refused, and the shipped list is used again.
    fs::permissions(user.ConfigDir(), fs::perms::group_write, fs::perm_options::add);
    r = user.Cli({"--servers", "example.com"});
    EXPECT_EQ(r.out, "whois.verisign-grs.com\tdomain \n" + rdap) << r.err;
    r = user.Cli({"--update-server-list", http.Url("/whois.xml")});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    // Nothing was ever written under the prefix.
    EXPECT_EQ(Listing(Prefix().path()), before);
}

TEST(Install, WindowKeepsItsFilesInTheUsersFolder) {
    const auto before = Listing(Prefix().path());
    const User user;
    fs::remove(user.ConfigDir() / "tesseron.ini");
    fs::remove(user.ConfigDir());
    const tesseron::UniqueFd err(::open((user.home() / "stderr.log").c_str(),
                                        O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    Launch launch = Program({(Prefix() / "bin/tesseron").string()}, user.Env());
    launch.err = err.get();
    const pid_t pid = Spawn(launch);
    // Up once it holds the lock beside its results file.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!fs::exists(user.ConfigDir() / "whois_result.xml.lock") &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_EQ(ExitCode(status), 0) << ReadFile(user.home() / "stderr.log");
    EXPECT_NE(ReadFile(user.ConfigDir() / "tesseron.ini").find("[Window State]"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(user.ConfigDir() / "whois_result.xml"));
    EXPECT_EQ(fs::status(user.ConfigDir()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(Listing(Prefix().path()), before);
}

// What bash offers after the words typed so far (the last one being completed).
std::vector<std::string> Completions(const std::vector<std::string>& words) {
    std::string script = "source '" +
                         (Prefix() / "share/bash-completion/completions/tesseron-cli").string() +
                         "'; COMP_WORDS=(tesseron-cli";
    for (const auto& w : words)
        script += " '" + w + "'";
    script += "); COMP_CWORD=" + std::to_string(words.size()) +
              "; _tesseron_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
    const auto r = RunCaptured(Program({"bash", "--norc", "-c", script}), 10s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> out;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) out.push_back(line);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Install, BashCompletesOptionsAndProtocols) {
    using Words = std::vector<std::string>;
    const struct {
        Words typed;
        Words offered;
    } cases[] = {
        {{"--proto"}, {"--protocol"}},
        {{"--protocol", ""}, {"auto", "rdap", "whois"}},
        {{"example.com", "--protocol", "r"}, {"rdap"}},
        {{"--serv"}, {"--server", "--server-list", "--servers"}},
        {{"--timeout", ""}, {}},
        {{"exam"}, {}},
        {{"--ver"}, {"--version"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Completions(c.typed), c.offered) << c.typed.back();

    // Every long option the help names is completed.
    const auto help = User().Cli({"--help"}).out;
    const auto all = Completions({"--"});
    for (std::size_t at = 0; (at = help.find("  --", at)) != std::string::npos;) {
        at += 2;
        const auto name = help.substr(at, help.find_first_of(" \n", at) - at);
        EXPECT_NE(std::find(all.begin(), all.end(), name), all.end()) << name;
    }
}

} // namespace
