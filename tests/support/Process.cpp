#include "support/Process.h"

#include "desktop/UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tesseron::test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Fd = tesseron::UniqueFd;

constexpr auto kStopTimeout = 3s;
constexpr auto kPollInterval = 10ms;

std::string NameOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

// This process's environment with `changes` applied.
std::vector<std::string> Environment(const std::vector<std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& c : changes)
            replaced = replaced || NameOf(c) == NameOf(entry);
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), changes.begin(), changes.end());
    return env;
}

// A bare name is looked up on PATH here, as the child must not search after the fork.
std::string ProgramPath(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const char* path = ::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate =
            (end > start ? dirs.substr(start, end - start) : std::string(".")) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    throw std::runtime_error(name + " is not on PATH");
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::string StatusText(int status) {
    if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

} // namespace

sockaddr_in Loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

pid_t Spawn(const Launch& launch) {
    if (launch.argv.empty()) throw std::invalid_argument("Spawn: empty command line");
    std::string program = ProgramPath(launch.argv[0]);
    std::vector<std::string> argvStrings = launch.argv;
    std::vector<std::string> envStrings = Environment(launch.env);
    std::vector<char*> argv = Pointers(argvStrings);
    std::vector<char*> envp = Pointers(envStrings);
    const char* folder = launch.workingDir.empty() ? nullptr : launch.workingDir.c_str();
    const pid_t parent = ::getpid();
    static const char execFailed[] = "exec failed\n";

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        if (launch.ownGroup) {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(126);
        }
        if (folder && ::chdir(folder) != 0) ::_exit(126);
        const int streams[3] = {launch.in, launch.out, launch.err};
        for (int target = 0; target < 3; ++target)
            if (streams[target] >= 0 && ::dup2(streams[target], target) < 0) ::_exit(126);
        ::close_range(3, ~0U, 0);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::execve(program.c_str(), argv.data(), envp.data());
        [[maybe_unused]] auto n = ::write(2, execFailed, sizeof execFailed - 1);
        ::_exit(127);
    }
    if (launch.ownGroup) ::setpgid(pid, pid); // also here, so that a stop never races the child
    return pid;
}

int ExitCode(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

Captured RunCaptured(Launch launch, std::chrono::milliseconds silence) {
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    Fd outRead(outPipe[0]), outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    Fd errRead(errPipe[0]), errWrite(errPipe[1]);
    launch.out = outWrite.get();
    launch.err = errWrite.get();
    const pid_t pid = Spawn(launch);
    outWrite.reset();
    errWrite.reset();

    Captured r;
    pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, static_cast<int>(silence.count())) <= 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[65536];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (open > 0) ::kill(pid, SIGKILL); // silent too long: the exit code says so
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    r.exitCode = ExitCode(status);
    r.maxRssKb = usage.ru_maxrss;
    return r;
}

ChildProcess::ChildProcess(std::string name, std::vector<std::string> argv,
                           std::filesystem::path logFile, std::filesystem::path workingDir)
    : name_(std::move(name)), logFile_(std::move(logFile)) {
    if (argv.empty()) throw std::invalid_argument("ChildProcess: empty command line");
    Fd log(::open(logFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    Fd null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (log.get() < 0 || null.get() < 0)
        throw std::runtime_error("cannot open " + logFile_.string() + " or /dev/null");
    Launch launch;
    launch.argv = std::move(argv);
    launch.workingDir = std::move(workingDir);
    launch.in = null.get();
    launch.out = log.get();
    launch.err = log.get();
    launch.ownGroup = true;
    pid_ = Spawn(launch);
}

ChildProcess::~ChildProcess() {
    Stop();
}

std::optional<int> ChildProcess::Poll() {
    if (!status_ && pid_ > 0) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    }
    return status_;
}

int ChildProcess::WaitExit(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!Poll() && Clock::now() < deadline)
        std::this_thread::sleep_for(kPollInterval);
    if (!status_) {
        Stop();
        throw std::runtime_error(
            Describe("did not finish within " + std::to_string(timeout.count()) + " ms"));
    }
    if (!WIFEXITED(*status_))
        throw std::runtime_error(Describe("ended with " + StatusText(*status_)));
    return WEXITSTATUS(*status_);
}

void ChildProcess::WaitListening(int port, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (auto status = Poll())
            throw std::runtime_error(
                Describe("ended (" + StatusText(*status) +
                         ") before listening on 127.0.0.1:" + std::to_string(port)));
        Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in addr = Loopback(port);
        if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return;
        if (Clock::now() >= deadline)
            throw std::runtime_error(Describe("not listening on 127.0.0.1:" + std::to_string(port) +
                                              " after " + std::to_string(timeout.count()) + " ms"));
        std::this_thread::sleep_for(kPollInterval);
    }
}

void ChildProcess::Stop() {
    if (pid_ <= 0) return;
    if (!status_) {
        // The whole group: dante runs helper processes beside the main one. The leader is
        // left unreaped until the group is swept, so its id cannot name anybody else's.
        ::kill(-pid_, SIGTERM);
        const auto deadline = Clock::now() + kStopTimeout;
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(kPollInterval);
        }
        ::kill(-pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = status;
    }
    pid_ = -1;
}

std::string ChildProcess::Log() const {
    std::ifstream in(logFile_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ChildProcess::Describe(const std::string& what) const {
    return name_ + " " + what + "; its output:\n" + Log();
}

} // namespace tesseron::test
