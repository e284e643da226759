#include "query/QtRunBridge.h"

#include <QThread>

#include <exception>
#include <stdexcept>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace tesseron {

namespace {

// The blocking call below waits inside Qt, on a futex ThreadSanitizer cannot see in a Qt
// that was not built with it. In a ThreadSanitizer build these marks tell it what the call
// is: everything before it on the worker happens before the work on the UI thread, which
// happens before everything after it on the worker; Qt's own traffic in between is left
// out. In other builds they are nothing.
void MarkHandOver([[maybe_unused]] void* at) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(at);
#endif
}
void MarkTakeOver([[maybe_unused]] void* at) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(at);
#endif
}
void IgnoreQtBegin() {
#if defined(__SANITIZE_THREAD__)
    __tsan_ignore_thread_begin();
#endif
}
void IgnoreQtEnd() {
#if defined(__SANITIZE_THREAD__)
    __tsan_ignore_thread_end();
#endif
}

} // namespace

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
    MarkHandOver(&ran);
    IgnoreQtBegin();
    QMetaObject::invokeMethod(
        this,
        [&] {
            MarkTakeOver(&ran);
            ran = true;
            try {
                work();
            } catch (...) {
                failure = std::current_exception(); // thrown on, in the worker
            }
            MarkHandOver(&ran);
        },
        Qt::BlockingQueuedConnection);
    IgnoreQtEnd();
    MarkTakeOver(&ran);
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
