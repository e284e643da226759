#pragma once

#include "query/uWhoisRequestThread.h"

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>

class QObject;

namespace tesseron {

// Thrown to a caller whose call the marshaller refused: it never ran.
class CallRefused : public std::runtime_error {
public:
    CallRefused() : std::runtime_error("The progress window closed during the query.") {}
};

// Carries calls from a worker to the thread of a Qt object (the UI thread) and waits for
// each one, so calls arrive in order and the worker sees their results and exceptions as
// in a direct call. A call made on that thread itself goes straight through.
//
// The thread that owns the object may need to wait for the worker (a stop), while the
// worker waits in a call for it: Refuse() breaks that knot. From then on every call that
// has not started returns at once with CallRefused, and so does every new call; a refused
// call never runs later. Open() accepts calls again (a new run).
class QtMarshaller {
public:
    explicit QtMarshaller(QObject* home);
    ~QtMarshaller();
    QtMarshaller(const QtMarshaller&) = delete;
    QtMarshaller& operator=(const QtMarshaller&) = delete;

    template <class F> std::invoke_result_t<F&> Call(F&& work) {
        using R = std::invoke_result_t<F&>;
        if constexpr (std::is_void_v<R>) {
            Run([&] { work(); });
        } else {
            std::optional<R> result;
            Run([&] { result.emplace(work()); });
            return std::move(*result);
        }
    }

    // Both from any thread.
    void Refuse();
    void Open();

private:
    struct Pending; // one call on its way

    void Run(const std::function<void()>& work);

    QObject* home_; // outlives every call made through it
    std::mutex mutex_;
    bool refused_ = false;
    std::set<std::shared_ptr<Pending>> pending_;
};

// The run's log, carried to the UI thread.
class QtRunLog final : public RunLog {
public:
    QtRunLog(QtMarshaller& marshaller, RunLog& target) : via_(marshaller), target_(target) {}
    void AddLogLine(LogImage image, const std::string& text) override {
        via_.Call([&] { target_.AddLogLine(image, text); });
    }
    void EndOfRun(bool close) override {
        via_.Call([&] { target_.EndOfRun(close); });
    }

private:
    QtMarshaller& via_;
    RunLog& target_;
};

// The store step, carried to the UI thread.
class QtResultSink final : public ResultSink {
public:
    QtResultSink(QtMarshaller& marshaller, ResultSink& target)
        : via_(marshaller), target_(target) {}
    std::optional<QueuedEntry> ReadQueued(ResultId id) override {
        return via_.Call([&] { return target_.ReadQueued(id); });
    }
    std::optional<ResultId> StoreAnswer(const StoreRequest& request) override {
        return via_.Call([&] { return target_.StoreAnswer(request); });
    }

private:
    QtMarshaller& via_;
    ResultSink& target_;
};

} // namespace tesseron
