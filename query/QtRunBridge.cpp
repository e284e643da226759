#include "query/QtRunBridge.h"

#include <QThread>

#include <exception>
#include <stdexcept>

namespace tesseron {

QtRunBridge::QtRunBridge(Callbacks callbacks, QObject* parent)
    : QObject(parent), callbacks_(std::move(callbacks)) {}

void QtRunBridge::OnOwnThread(const std::function<void()>& work) {
    if (QThread::currentThread() == thread()) {
        work(); // a blocking queued call to our own thread would wait for itself
        return;
    }
    bool ran = false;
    std::exception_ptr failure;
    // The worker blocks here until the UI thread has run the call. Qt releases the wait
    // also when this object is deleted first; then the call never ran.
    QMetaObject::invokeMethod(
        this,
        [&] {
            ran = true;
            try {
                work();
            } catch (...) {
                failure = std::current_exception(); // thrown on, in the worker
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
    if (!ran) throw std::runtime_error("The progress window closed during the query.");
}

void QtRunBridge::AddLogLine(LogImage image, const std::string& text) {
    OnOwnThread([&] {
        if (callbacks_.addLogLine) callbacks_.addLogLine(image, text);
    });
}

std::optional<RunUi::QueuedEntry> QtRunBridge::ReadQueued(ResultId id) {
    std::optional<QueuedEntry> entry;
    OnOwnThread([&] {
        if (callbacks_.readQueued) entry = callbacks_.readQueued(id);
    });
    return entry;
}

std::optional<ResultId> QtRunBridge::StoreAnswer(const StoreRequest& request) {
    std::optional<ResultId> stored;
    OnOwnThread([&] {
        if (!callbacks_.storeAnswer) throw std::runtime_error("No result store is attached.");
        stored = callbacks_.storeAnswer(request);
    });
    return stored;
}

void QtRunBridge::EndOfRun(bool close) {
    OnOwnThread([&] {
        if (callbacks_.endOfRun) callbacks_.endOfRun(close);
    });
}

} // namespace tesseron
