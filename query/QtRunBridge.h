#pragma once

#include "query/uWhoisRequestThread.h"

#include <QObject>

#include <functional>
#include <optional>
#include <string>

namespace tesseron {

// The run's user-interface side for the window. The run calls it from its worker thread;
// each call is carried out on the thread this object lives in (the UI thread) and the
// worker waits for it, so log lines arrive in order and never overtake the store step.
// A call made on the UI thread itself goes straight through. An exception thrown by a
// callback reaches the caller on the worker, as it would in a direct call.
class QtRunBridge final : public QObject, public RunUi {
    Q_OBJECT

public:
    struct Callbacks {
        std::function<void(LogImage image, const std::string& text)> addLogLine;
        // Empty: a queued entry reads as deleted.
        std::function<std::optional<QueuedEntry>(ResultId id)> readQueued;
        // Empty: the store step fails.
        std::function<std::optional<ResultId>(const StoreRequest& request)> storeAnswer;
        // The run's last call. It must not destroy the run: the worker is still inside it.
        std::function<void(bool close)> endOfRun;
    };

    explicit QtRunBridge(Callbacks callbacks, QObject* parent = nullptr);

    void AddLogLine(LogImage image, const std::string& text) override;
    std::optional<QueuedEntry> ReadQueued(ResultId id) override;
    std::optional<ResultId> StoreAnswer(const StoreRequest& request) override;
    void EndOfRun(bool close) override;

private:
    // Runs `work` on this object's thread and waits for it.
    void OnOwnThread(const std::function<void()>& work);

    Callbacks callbacks_;
};

} // namespace tesseron
