// Whole-process timings of tesseron-cli against a minimal query program, both asking the
// same loopback server in the same run. Prints medians and ratios.
#include "AnswerServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A typical 2 KB registry answer.
std::string TypicalAnswer() {
    std::string answer;
    for (int i = 0; i < 40; ++i)
        answer += "Field " + std::to_string(i) + ": some registry value of typical length\r\n";
    return answer;
}

// Runs a program with its output thrown away; returns the wall time in milliseconds.
double TimeRun(const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : TESSERON_BINARY_DIR;
    const std::string cli = dir + "/tesseron-cli";
    const std::string plain = dir + "/bench/plain_whois";
    const int runs = 21;
    tesseron::bench::AnswerServer server(TypicalAnswer());
    const std::string port = std::to_string(server.port());

    // Settings that keep the run on loopback: no name look-ups.
    char settingsPath[] = "/tmp/tesseron-bench-XXXXXX";
    const int sfd = mkstemp(settingsPath);
    const std::string ini = "[Defaults]\nDetermineIpAddress=0\nDetermineReverseName=0\n";
    if (sfd < 0 || write(sfd, ini.data(), ini.size()) != static_cast<ssize_t>(ini.size())) return 1;
    close(sfd);

    const std::vector<std::string> cliOne = {cli,        "--settings",        settingsPath,
                                             "--server", "127.0.0.1:" + port, "example.test"};
    const std::vector<std::string> plainOne = {plain, "127.0.0.1", port, "example.test"};
    std::vector<std::string> cliHundred = {cli, "--settings", settingsPath, "--server",
                                           "127.0.0.1:" + port};
    for (int i = 0; i < 100; ++i)
        cliHundred.push_back("example" + std::to_string(i) + ".test");

    std::vector<double> tCli, tPlain, tHundred;
    TimeRun(cliOne); // warm the page cache
    TimeRun(plainOne);
    for (int i = 0; i < runs; ++i) {
        tPlain.push_back(TimeRun(plainOne));
        tCli.push_back(TimeRun(cliOne));
        if (i < 7) tHundred.push_back(TimeRun(cliHundred));
    }
    unlink(settingsPath);
    const double mPlain = Median(tPlain), mCli = Median(tCli), mHundred = Median(tHundred);
    std::printf("one query, whole process (median of %d):\n", runs);
    std::printf("  tesseron-cli --server    %8.2f ms\n", mCli);
    std::printf("  minimal query program    %8.2f ms   ratio %.2f\n", mPlain, mCli / mPlain);
    std::printf("100 addresses in one tesseron-cli run (median of %zu): %.2f ms, %.3f ms per "
                "address, ratio to one minimal query program %.2f\n",
                tHundred.size(), mHundred, mHundred / 100, (mHundred / 100) / mPlain);
    return 0;
}
