// Whole-process timings of tesseron-cli against a minimal query program, both asking the
// same loopback server in the same run. Prints medians and ratios, and for large answers
// the peak memory of each process against the answer's size.
#include "AnswerServer.h"
#include "desktop/UniqueFd.h"
#include "support/Process.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A typical 2 KB registry answer.
std::string TypicalAnswer() {
    std::string answer;
    for (int i = 0; i < 40; ++i)
        answer += "Field " + std::to_string(i) + ": some registry value of typical length\r\n";
    return answer;
}

// An answer of `bytes` bytes in registry-style lines and no referral, so the scan for
// one reads all of it.
std::string LargeAnswer(std::size_t bytes) {
    std::string answer;
    answer.reserve(bytes);
    for (int i = 0; answer.size() < bytes; ++i)
        answer += "Remarks " + std::to_string(i) + ": Some Registry Value Of Typical Length\r\n";
    answer.resize(bytes);
    return answer;
}

// A server of a large answer in a process of its own, started before this one holds
// anything large: a child's peak memory counts what it shared with this process before
// its exec, so this process must stay small.
struct ServerProcess {
    pid_t pid = -1;
    int port = 0;
};

ServerProcess StartServerProcess(std::size_t bytes) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM); // also when the benchmark stops on a failure
        close(fds[0]);
        tesseron::bench::AnswerServer server(LargeAnswer(bytes));
        const int port = server.port();
        if (write(fds[1], &port, sizeof port) != sizeof port) _exit(1);
        close(fds[1]);
        for (;;)
            pause(); // ended by the parent
    }
    close(fds[1]);
    ServerProcess p{pid, 0};
    if (pid < 0 || read(fds[0], &p.port, sizeof p.port) != sizeof p.port) std::exit(1);
    close(fds[0]);
    return p;
}

struct Measured {
    double ms = 0;
    long maxRssKiB = 0; // peak resident memory of the process
};

// Runs a program with its output thrown away; returns its wall time and peak memory.
Measured Measure(const std::vector<std::string>& args) {
    const tesseron::UniqueFd null(open("/dev/null", O_WRONLY | O_CLOEXEC));
    tesseron::test::Launch launch;
    launch.argv = args;
    launch.out = null.get();
    launch.err = null.get();
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    try {
        pid = tesseron::test::Spawn(launch);
    } catch (const std::exception&) {
        std::fprintf(stderr, "cannot start %s\n", args[0].c_str());
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", args[0].c_str());
        std::exit(1);
    }
    return {std::chrono::duration<double, std::milli>(end - start).count(), usage.ru_maxrss};
}

double TimeRun(const std::vector<std::string>& args) {
    return Measure(args).ms;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::size_t> largeMiB = {1, 8, 32};
    std::vector<ServerProcess> largeServers;
    for (const std::size_t mib : largeMiB)
        largeServers.push_back(StartServerProcess(mib << 20));
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
    const double mPlain = Median(tPlain), mCli = Median(tCli), mHundred = Median(tHundred);
    std::printf("one query, whole process (median of %d):\n", runs);
    std::printf("  tesseron-cli --server    %8.2f ms\n", mCli);
    std::printf("  minimal query program    %8.2f ms   ratio %.2f\n", mPlain, mCli / mPlain);
    std::printf("100 addresses in one tesseron-cli run (median of %zu): %.2f ms, %.3f ms per "
                "address, ratio to one minimal query program %.2f\n",
                tHundred.size(), mHundred, mHundred / 100, (mHundred / 100) / mPlain);

    // Large answers: time and peak memory, both medians, against the minimal program.
    std::printf("large answers, whole process (median of 7):\n");
    for (std::size_t k = 0; k < largeMiB.size(); ++k) {
        const std::size_t mib = largeMiB[k];
        const std::size_t bytes = mib << 20;
        const std::string bigPort = std::to_string(largeServers[k].port);
        const std::vector<std::string> cliBig = {
            cli, "--settings", settingsPath, "--server", "127.0.0.1:" + bigPort, "example.test"};
        const std::vector<std::string> plainBig = {plain, "127.0.0.1", bigPort, "example.test"};
        std::vector<double> tc, tp, mc, mp;
        for (int i = 0; i < 7; ++i) {
            const Measured p = Measure(plainBig), c = Measure(cliBig);
            tp.push_back(p.ms);
            tc.push_back(c.ms);
            mp.push_back(static_cast<double>(p.maxRssKiB));
            mc.push_back(static_cast<double>(c.maxRssKiB));
        }
        const double answerKiB = static_cast<double>(bytes) / 1024;
        std::printf("  %2zu MiB: tesseron-cli %8.2f ms, minimal %8.2f ms, ratio %.2f; peak memory "
                    "%.0f KiB = %.2fx the answer (minimal program %.0f KiB)\n",
                    mib, Median(tc), Median(tp), Median(tc) / Median(tp), Median(mc),
                    Median(mc) / answerKiB, Median(mp));
    }
    for (const ServerProcess& p : largeServers) {
        kill(p.pid, SIGTERM);
        waitpid(p.pid, nullptr, 0);
    }
    unlink(settingsPath);
    return 0;
}
