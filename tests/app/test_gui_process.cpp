// The window as a whole process: started offscreen in a folder of its own, ended by
// signals, and reached by a second start through the hand-over socket.
#include "desktop/InstanceLock.h"
#include "desktop/UniqueFd.h"
#include "support/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tesseron::test;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// A copy of the program with its data, so it keeps its files in a temporary folder.
class Installation {
public:
    Installation() {
        fs::copy_file(TESSERON_BINARY_DIR "/tesseron", dir_ / "tesseron");
        fs::copy_file(TESSERON_BINARY_DIR "/whois.xml", dir_ / "whois.xml");
        fs::copy(TESSERON_BINARY_DIR "/languages", dir_ / "languages");
        fs::copy(TESSERON_BINARY_DIR "/rdap", dir_ / "rdap");
        fs::create_directory(dir_ / "runtime");
        fs::permissions(dir_ / "runtime", fs::perms::owner_all);
        dir_.Write("tesseron.ini", "[Defaults]\nDetermineIpAddress=0\nDetermineReverseName=0\n");
    }
    const TempDir& dir() const { return dir_; }

    pid_t Start(const std::vector<std::string>& args) const {
        const tesseron::UniqueFd err(
            ::open((dir_ / "stderr.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
        Launch launch;
        launch.argv = {(dir_ / "tesseron").string()};
        launch.argv.insert(launch.argv.end(), args.begin(), args.end());
        launch.env = {"QT_QPA_PLATFORM=offscreen",
                      "XDG_RUNTIME_DIR=" + (dir_ / "runtime").string()};
        launch.err = err.get();
        return Spawn(launch);
    }

    // The window holds the lock beside its results file once it is up.
    bool WaitUntilRunning(pid_t pid) const {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < deadline) {
            if (fs::exists(dir_ / "whois_result.xml.lock") && HasSocket()) return true;
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    bool HasSocket() const {
        for (const auto& e : fs::directory_iterator(dir_ / "runtime"))
            if (e.is_socket()) return true;
        return false;
    }
    TempDir dir_;
};

// The exit code, or -1 when the process did not end in time (it is then killed).
int WaitForExit(pid_t pid, int seconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

bool GoneWithin(const fs::path& path, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    while (fs::exists(path)) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(GuiProcess, EachSignalShutsDownWritingResultsAndSettings) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        Installation inst;
        // Left by a run killed while writing: removed once the window holds the files.
        for (const char* leftover : {"whois_result.xml.tmp-a1b2c3d4", "tesseron.ini.tmp-00zz11yy",
                                     "whois.xml.tmp-qwertyui"})
            inst.dir().Write(leftover, "half");
        inst.dir().Write("whois_result.xml.tmp-A1B2C3D4", "not ours");
        const pid_t pid = inst.Start({});
        ASSERT_TRUE(inst.WaitUntilRunning(pid)) << "signal " << sig;
        // The lock file appears just before the leftovers go: wait for them, bounded.
        for (const char* leftover : {"whois_result.xml.tmp-a1b2c3d4", "tesseron.ini.tmp-00zz11yy",
                                     "whois.xml.tmp-qwertyui"})
            EXPECT_TRUE(GoneWithin(inst.dir() / leftover, std::chrono::seconds(10))) << leftover;
        EXPECT_TRUE(fs::exists(inst.dir() / "whois_result.xml.tmp-A1B2C3D4"));
        ::kill(pid, sig);
        EXPECT_EQ(WaitForExit(pid, 20), 0) << "signal " << sig;
        const std::string ini = ReadFile(inst.dir() / "tesseron.ini");
        EXPECT_NE(ini.find("MaxWhoisResults="), std::string::npos) << ini;
        EXPECT_NE(ini.find("[Window State]"), std::string::npos) << ini;
        EXPECT_NE(ReadFile(inst.dir() / "whois_result.xml").find("<WhoisResult"),
                  std::string::npos);
    }
}

TEST(GuiProcess, SecondStartHandsItsArgumentOverAndExits) {
    Installation inst;
    const pid_t window = inst.Start({});
    ASSERT_TRUE(inst.WaitUntilRunning(window));
    // No argument: the running window is asked to show itself; no second window starts.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"https://www.example.com/path"}, {"-minimize"}, {}}) {
        const pid_t second = inst.Start(args);
        EXPECT_EQ(WaitForExit(second, 10), 0) << (args.empty() ? "no argument" : args[0]);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(window, &status, WNOHANG), 0) << "the first window keeps running";
    ::kill(window, SIGTERM);
    EXPECT_EQ(WaitForExit(window, 20), 0);
}

// Whatever box is open, a signal ends the program the ordinary way, and what a box would
// have said at the end goes to standard error.
TEST(GuiProcess, SignalEndsTheProgramWhateverBoxIsOpen) {
    // A damaged results file: its start-up message is open when the signal comes.
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        Installation inst;
        inst.dir().Write("whois_result.xml", "<WhoisResult><Result>");
        const pid_t pid = inst.Start({});
        ASSERT_TRUE(inst.WaitUntilRunning(pid)) << "signal " << sig;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(pid, sig);
        EXPECT_EQ(WaitForExit(pid, 10), 0) << "signal " << sig;
        EXPECT_EQ(ReadFile(inst.dir() / "whois_result.xml.damaged"), "<WhoisResult><Result>");
        EXPECT_NE(ReadFile(inst.dir() / "tesseron.ini").find("[Window State]"), std::string::npos);
    }

    // A results file that cannot be written at shut-down: reported, and the program ends.
    Installation inst;
    const pid_t pid = inst.Start({});
    ASSERT_TRUE(inst.WaitUntilRunning(pid));
    fs::create_directories(inst.dir() / "whois_result.xml/in the way");
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid, 10), 0);
    EXPECT_NE(ReadFile(inst.dir() / "stderr.log").find("whois_result.xml"), std::string::npos)
        << ReadFile(inst.dir() / "stderr.log");
    EXPECT_NE(ReadFile(inst.dir() / "tesseron.ini").find("[Window State]"), std::string::npos);
}

TEST(GuiProcess, WindowNeverWritesAResultsFileAnotherRunHolds) {
    Installation inst;
    const std::string stored = "<WhoisResult><Result><QueryString>kept.test</QueryString>"
                               "</Result></WhoisResult>";
    inst.dir().Write("whois_result.xml", stored);
    inst.dir().Write("whois_result.xml.tmp-a1b2c3d4", "maybe the holder's");
    const auto lock = tesseron::InstanceLock::TryAcquire(
        tesseron::InstanceLock::For(inst.dir() / "whois_result.xml"));
    ASSERT_TRUE(lock.has_value());
    const pid_t pid = inst.Start({});
    ASSERT_TRUE(inst.WaitUntilRunning(pid));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid, 10), 0);
    EXPECT_EQ(ReadFile(inst.dir() / "whois_result.xml"), stored);
    EXPECT_TRUE(fs::exists(inst.dir() / "whois_result.xml.tmp-a1b2c3d4"));
}

} // namespace
