#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/types.h>

namespace tesseron::test {

// 127.0.0.1 at `port` (0: any free one).
sockaddr_in Loopback(int port);

// How a program is started by Spawn.
struct Launch {
    // argv[0] names the program: a path, or a bare name looked up on PATH.
    std::vector<std::string> argv;
    // NAME=VALUE entries that replace or extend this process's environment in the child.
    std::vector<std::string> env;
    std::filesystem::path workingDir; // empty: this process's folder
    // Descriptors that become the child's standard input, output and error; -1 keeps ours.
    int in = -1;
    int out = -1;
    int err = -1;
    // A process group of its own, and SIGTERM when the thread that started it ends, so
    // that a daemon never outlives a crashed test and can be stopped with its helpers.
    bool ownGroup = false;
};

// Starts a program with fork and exec and returns its id. Everything the child needs is
// prepared before the fork: between fork and exec only async-signal-safe calls are made,
// and the test programs have threads. The child gets no other descriptor of ours, an
// empty signal mask and the default SIGPIPE; a failed exec ends it with exit code 127.
// Throws when the program cannot be started.
pid_t Spawn(const Launch& launch);

// The exit code of a wait status, or 128 + the signal number that ended the process.
int ExitCode(int waitStatus);

// A program run to its end with its output and error output kept apart.
struct Captured {
    int exitCode = -1;
    std::string out;
    std::string err;
    long maxRssKb = 0; // the program's largest resident size, as wait4 tells it
};

// Runs `launch` (its `out` and `err` are replaced by pipes) and reads both streams until
// they close. When neither says anything for `silence`, the program is killed and its
// exit code tells so.
Captured RunCaptured(Launch launch, std::chrono::milliseconds silence);

// A started program owned by the object: stdin from /dev/null, stdout and stderr going to
// `logFile`, in a group of its own. The destructor stops it: SIGTERM to the group, SIGKILL
// after a bounded wait, and the process is reaped. It starts in `workingDir` when one is
// given.
class ChildProcess {
public:
    ChildProcess(std::string name, std::vector<std::string> argv, std::filesystem::path logFile,
                 std::filesystem::path workingDir = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    const std::string& name() const noexcept { return name_; }
    pid_t pid() const noexcept { return pid_; }

    // Reaps the process if it has ended; returns its wait status then.
    std::optional<int> Poll();

    // Waits at most `timeout` for the program to end and returns its exit code; throws
    // (and stops it) when it is still running or was killed by a signal.
    int WaitExit(std::chrono::milliseconds timeout);

    // Waits at most `timeout` until 127.0.0.1:`port` accepts connections. Throws a
    // message with the program's log when it exits first or the time runs out.
    void WaitListening(int port, std::chrono::milliseconds timeout);

    void Stop();
    std::string Log() const;

private:
    std::string Describe(const std::string& what) const;

    std::string name_;
    std::filesystem::path logFile_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

} // namespace tesseron::test
