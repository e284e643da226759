// What the program may and may not write over, and where it keeps its files.
#include "desktop/AtomicFile.h"
#include "desktop/ProfileFile.h"
#include "desktop/ProgramPaths.h"
#include "mainwin/Settings.h"
#include "serverdb/ResultsFile.h"
#include "support/Child.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tesseron;
using tesseron::test::ReadFile;
using tesseron::test::RunInChild;
using tesseron::test::TempDir;

namespace {

mode_t ModeOf(const std::filesystem::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

int EntriesIn(const std::filesystem::path& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

// Every writer of the program, over one file: each must refuse, with its usual error.
enum class Writer { Atomic, Profile, Results };
enum class Obstacle { ReadOnly, OtherOwner, SymbolicLink };

struct RefusalCase {
    const char* name;
    Writer writer;
    Obstacle obstacle;
};

constexpr RefusalCase kRefusals[] = {
    {"AtomicReadOnly", Writer::Atomic, Obstacle::ReadOnly},
    {"AtomicOtherOwner", Writer::Atomic, Obstacle::OtherOwner},
    {"AtomicLink", Writer::Atomic, Obstacle::SymbolicLink},
    {"SettingsReadOnly", Writer::Profile, Obstacle::ReadOnly},
    {"SettingsOtherOwner", Writer::Profile, Obstacle::OtherOwner},
    {"SettingsLink", Writer::Profile, Obstacle::SymbolicLink},
    {"ResultsReadOnly", Writer::Results, Obstacle::ReadOnly},
    {"ResultsOtherOwner", Writer::Results, Obstacle::OtherOwner},
    {"ResultsLink", Writer::Results, Obstacle::SymbolicLink},
};

class RefusedWrite : public ::testing::TestWithParam<RefusalCase> {};

// 0 when the writer refused with its own error, else a code saying what went wrong.
int WriteAndExpectRefusal(Writer writer, const std::filesystem::path& path) {
    try {
        switch (writer) {
        case Writer::Atomic:
            WriteFileAtomically(path, "new");
            return 1;
        case Writer::Profile: {
            ProfileFile f(path, 0600, FileModeRule::Always);
            f.WriteString("Proxy", "proxyHost", "evil");
            return 1;
        }
        case Writer::Results: {
            TWhoisResultCollection results;
            results.Add().QueryString = "new";
            results.SaveToFile(path.string());
            return 1;
        }
        }
    } catch (const ProfileWriteError& e) {
        return writer == Writer::Profile && e.what() == "Unable to write to " + path.string() ? 0
                                                                                              : 2;
    } catch (const FileWriteError& e) {
        return writer == Writer::Atomic ? 0 : 3;
    } catch (const ResultsFileError& e) {
        return writer == Writer::Results &&
                       std::string(e.what()).starts_with("Unable to write to " + path.string())
                   ? 0
                   : 4;
    }
    return 5;
}

TEST_P(RefusedWrite, LeavesTheFileAsItWas) {
    const auto& c = GetParam();
    TempDir dir;
    const auto target = dir.Write("target.txt", "precious");
    auto path = target;
    bool unprivileged = false;
    switch (c.obstacle) {
    case Obstacle::ReadOnly:
        ::chmod(target.c_str(), 0444); // in a writable folder; refused for root too
        break;
    case Obstacle::OtherOwner:
        // The file is root's (or ours), the writer is "nobody" in a folder open to it.
        ::chmod(dir.path().c_str(), 0777);
        ::chmod(target.c_str(), 0644);
        unprivileged = true;
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to play another user";
        break;
    case Obstacle::SymbolicLink:
        path = dir / "link.txt";
        std::filesystem::create_symlink("target.txt", path);
        break;
    }
    EXPECT_EQ(RunInChild([&] { return WriteAndExpectRefusal(c.writer, path); }, unprivileged), 0);
    EXPECT_EQ(ReadFile(target), "precious");
    if (c.obstacle == Obstacle::SymbolicLink) {
        EXPECT_TRUE(std::filesystem::is_symlink(path));
    }
    const int expected = c.obstacle == Obstacle::SymbolicLink ? 2 : 1;
    EXPECT_EQ(EntriesIn(dir.path()), expected) << "no temporary or damaged file is left";
}

INSTANTIATE_TEST_SUITE_P(Writers, RefusedWrite, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, UnreadableFileIsNeverWrittenOver) {
    const std::string content = "[Proxy]\nproxyHost=socks.example\nproxyPassword=secret\n";
    // 0222: writable but unreadable, so only the read decides; 0000: neither.
    for (const mode_t mode : {0222, 0000}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        const auto ini = dir.Write("tesseron.ini", content);
        ::chmod(dir.path().c_str(), 0777);
        ::chmod(ini.c_str(), mode);
        // As any user who cannot read it: "nobody" when the test runs as root.
        const int rc = RunInChild(
            [&] {
                ProfileFile f(ini, 0600, FileModeRule::Always);
                TSettings s;
                LoadSettings(f, ProgramPaths::Locate(dir / "tesseron", {}, true), s);
                if (!s.proxyHost.empty()) return 1; // it was readable after all
                try {
                    SaveSettings(f, s);
                    return 2;
                } catch (const ProfileWriteError& e) {
                    if (e.what() != "Unable to write to " + ini.string()) return 3;
                }
                try {
                    SaveWindowPlacement(f, WindowStateValue::Normal, {});
                    return 4;
                } catch (const ProfileWriteError&) {
                }
                return 0;
            },
            true);
        EXPECT_EQ(rc, 0);
        ::chmod(ini.c_str(), 0600);
        EXPECT_EQ(ReadFile(ini), content);
        EXPECT_EQ(EntriesIn(dir.path()), 1);
    }
}

TEST(SettingsFile, IsOwnerOnlyWheneverItIsWritten) {
    TempDir dir;
    const auto ini = dir.Write("tesseron.ini", "[Proxy]\nproxyPassword=secret\n");
    ::chmod(ini.c_str(), 0644);
    ProfileFile f(ini, 0600, FileModeRule::Always);
    f.WriteString("Proxy", "proxyHost", "h");
    EXPECT_EQ(ModeOf(ini), 0600u);
}

TEST(WritableFolder, IsCreatedOwnerOnlyAndMustStayTheUsers) {
    TempDir dir;
    const ProgramPaths::Environment env{(dir / "cfg").string(), ""};
    const auto paths = ProgramPaths::Locate(dir / "usr" / "bin" / "tesseron", env, false);

    const mode_t old = ::umask(0);
    paths.EnsureWritableDir();
    ::umask(old);
    EXPECT_EQ(ModeOf(paths.writableDir), 0700u);

    ::chmod(paths.writableDir.c_str(), 0770);
    EXPECT_THROW(paths.EnsureWritableDir(), std::runtime_error) << "group may write";
    ::chmod(paths.writableDir.c_str(), 0702);
    EXPECT_THROW(paths.EnsureWritableDir(), std::runtime_error) << "others may write";
    ::chmod(paths.writableDir.c_str(), 0755);
    EXPECT_NO_THROW(paths.EnsureWritableDir());
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(paths.writableDir.c_str(), test::kUnprivilegedId, test::kUnprivilegedId),
                  0);
        EXPECT_THROW(paths.EnsureWritableDir(), std::runtime_error) << "another user's";
    }

    // A refused folder's files are not even read: another user could have planted them.
    ::chmod(paths.writableDir.c_str(), 0777);
    const auto vetted = paths.Vetted();
    EXPECT_TRUE(vetted.SettingsFile().empty());
    EXPECT_TRUE(vetted.ResultsFile().empty());
    EXPECT_EQ(vetted.ServerListFile(), vetted.dataDir / "whois.xml");
    EXPECT_THROW(vetted.EnsureWritableDir(), std::runtime_error);
}

TEST(WritableFolder, NoHomeAndNoConfigFolderIsAClearError) {
    TempDir dir;
    for (const auto& env : {ProgramPaths::Environment{"", ""},
                            ProgramPaths::Environment{"relative", "also/relative"}}) {
        const auto paths = ProgramPaths::Locate(dir / "usr" / "bin" / "tesseron", env, false);
        EXPECT_TRUE(paths.SettingsFile().empty());
        EXPECT_TRUE(paths.ResultsFile().empty());
        EXPECT_EQ(paths.ServerListFile(), paths.dataDir / "whois.xml");
        try {
            paths.EnsureWritableDir();
            ADD_FAILURE() << "a folder was accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("HOME"), std::string::npos) << e.what();
        }
        EXPECT_THROW(WriteFileAtomically(paths.SettingsFile(), "x"), FileWriteError);
    }
}

} // namespace
