#include "query/QtRunBridge.h"

#include "query/ThreadCheckMarks.h"

#include <QObject>
#include <QThread>

#include <condition_variable>

namespace tesseron {

struct QtMarshaller::Pending {
    enum class State { Waiting, Running, Done, Refused };
    std::mutex mutex;
    std::condition_variable settled;
    State state = State::Waiting;
    const std::function<void()>* work = nullptr; // on the waiting worker's stack
    std::exception_ptr failure;

    // On the UI thread, when the posted call comes up.
    void RunHere() {
        {
            std::lock_guard lock(mutex);
            if (state != State::Waiting) return; // refused: its worker has gone on
            state = State::Running;
        }
        std::exception_ptr thrown;
        try {
            (*work)();
        } catch (...) {
            thrown = std::current_exception(); // thrown on, in the worker
        }
        std::lock_guard lock(mutex);
        failure = thrown;
        state = State::Done;
        settled.notify_all();
    }
};

QtMarshaller::QtMarshaller(QObject* home) : home_(home) {}

QtMarshaller::~QtMarshaller() {
    Refuse(); // no worker may go on waiting for a thread that no longer serves it
}

void QtMarshaller::Refuse() {
    std::lock_guard lock(mutex_);
    refused_ = true;
    for (const auto& call : pending_) {
        std::lock_guard callLock(call->mutex);
        if (call->state != Pending::State::Waiting) continue; // running: it finishes first
        call->state = Pending::State::Refused;
        call->settled.notify_all();
    }
}

void QtMarshaller::Open() {
    std::lock_guard lock(mutex_);
    refused_ = false;
}

void QtMarshaller::Run(const std::function<void()>& work) {
    if (home_ && QThread::currentThread() == home_->thread()) {
        work(); // a queued call to our own thread would wait for itself
        return;
    }
    auto call = std::make_shared<Pending>();
    {
        std::lock_guard lock(mutex_);
        if (refused_ || !home_) throw CallRefused();
        std::lock_guard callLock(call->mutex);
        call->work = &work;
        pending_.insert(call);
    }
    MarkHandOver(call.get());
    IgnoreQtBegin();
    QMetaObject::invokeMethod(
        home_,
        [call] {
            MarkTakeOver(call.get());
            call->RunHere();
        },
        Qt::QueuedConnection);
    IgnoreQtEnd();

    std::unique_lock callLock(call->mutex);
    call->settled.wait(callLock, [&] {
        return call->state == Pending::State::Done || call->state == Pending::State::Refused;
    });
    const bool refused = call->state == Pending::State::Refused;
    const std::exception_ptr failure = call->failure;
    callLock.unlock();
    {
        std::lock_guard lock(mutex_);
        pending_.erase(call);
    }
    if (refused) throw CallRefused();
    if (failure) std::rethrow_exception(failure);
}

} // namespace tesseron
