#include "app/SignalWatcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace tesseron {

namespace {

// The handler's only state: the write end of the active watcher's socket pair.
std::atomic<int> gWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free fd");

void OnSignal(int signalNumber) {
    const int savedErrno = errno; // write() may change it under the interrupted code
    const int fd = gWriteFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: when the pair is full the signal is already pending anyway.
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

[[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string("Cannot watch for shut-down signals: ") + what + ": " +
                             std::strerror(errno));
}

} // namespace

sigset_t SignalWatcher::Watched() {
    sigset_t set;
    sigemptyset(&set);
    for (int number : kSignals)
        sigaddset(&set, number);
    return set;
}

void SignalWatcher::HoldSignals() {
    const sigset_t set = Watched();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
        Fail("socketpair");
    readFd_.reset(fds[0]);
    writeFd_.reset(fds[1]);
    int expected = -1;
    if (!gWriteFd.compare_exchange_strong(expected, writeFd_.get()))
        throw std::logic_error("Only one signal watcher may be active at a time");
    notifier_ = std::make_unique<QSocketNotifier>(readFd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalWatcher::Drain);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // interrupted system calls elsewhere simply resume
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &previous_[i]);
    // What arrived while they were held is delivered now, to the handler just installed.
    const sigset_t set = Watched();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

SignalWatcher::~SignalWatcher() {
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    gWriteFd.store(-1);
}

void SignalWatcher::Drain() {
    unsigned char bytes[16];
    for (;;) {
        const auto count = ::read(readFd_.get(), bytes, sizeof bytes);
        if (count <= 0) break; // EAGAIN: drained
        for (ssize_t i = 0; i < count; ++i)
            emit quitRequested(bytes[i]);
    }
}

} // namespace tesseron
