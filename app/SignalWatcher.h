#pragma once

#include "desktop/UniqueFd.h"

#include <QObject>

#include <array>
#include <csignal>
#include <memory>

class QSocketNotifier;

namespace tesseron {

// Turns SIGTERM, SIGINT and SIGHUP into quitRequested on the thread that created the
// watcher, so the program shuts down the ordinary way and writes its files. The handler
// only writes the signal number to a socket pair; the notifier reads it on that thread.
// One watcher at a time; the previous handlers come back when it goes away.
class SignalWatcher final : public QObject {
    Q_OBJECT
public:
    // Holds the three signals back until a watcher takes them, so one that arrives before
    // the watcher exists (while the application object is made) is not lost: it reaches
    // the watcher as soon as that is made. Call it first thing in main.
    static void HoldSignals();

    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

signals:
    void quitRequested(int signalNumber);

private:
    void Drain();
    static sigset_t Watched();

    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};
    UniqueFd readFd_;
    UniqueFd writeFd_;
    std::unique_ptr<QSocketNotifier> notifier_; // declared last: goes before its descriptor
    std::array<struct sigaction, kSignals.size()> previous_{};
};

} // namespace tesseron
