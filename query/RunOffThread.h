#pragma once

#include "query/Socket.h"

#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tesseron {

enum class OffThreadStatus { Done, Aborted, Timeout, NoPipe, NoThread };

template <class T> struct OffThreadResult {
    OffThreadStatus status = OffThreadStatus::Done;
    std::optional<T> value; // with Done
};

// Runs a blocking call that cannot be interrupted (a resolver look-up) on a helper thread
// and waits for it while watching `abortFd` (-1: none), at most `timeoutMs` (negative: no
// limit). An abandoned call finishes on its own and its result is dropped. The state is
// shared, so the helper never writes into memory the caller has freed. A call that throws
// gives T{}.
template <class T>
OffThreadResult<T> RunOffThreadFor(std::function<T()> work, int abortFd, int timeoutMs) {
    struct State {
        std::mutex mutex;
        std::optional<T> result;
        Socket readEnd;
        Socket writeEnd;
    };
    auto state = std::make_shared<State>();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return {OffThreadStatus::NoPipe, {}};
    state->readEnd.reset(fds[0]);
    state->writeEnd.reset(fds[1]);
    try {
        std::thread([state, work = std::move(work)]() mutable {
            std::optional<T> value;
            try {
                value = work();
            } catch (...) {
                value = T{};
            }
            {
                std::lock_guard lock(state->mutex);
                state->result = std::move(value);
            }
            const char done = 1;
            [[maybe_unused]] auto n = ::write(state->writeEnd.get(), &done, 1);
        }).detach();
    } catch (const std::system_error&) {
        return {OffThreadStatus::NoThread, {}};
    }
    switch (WaitFor(state->readEnd.get(), POLLIN, timeoutMs, abortFd)) {
    case WaitStatus::Aborted:
        return {OffThreadStatus::Aborted, {}};
    case WaitStatus::Timeout:
        return {OffThreadStatus::Timeout, {}};
    case WaitStatus::Ready:
        break;
    }
    std::lock_guard lock(state->mutex);
    return {OffThreadStatus::Done, std::move(state->result)};
}

// The same without a time limit. Returns nullopt when aborted or when no thread could
// be started; without an abort fd, or without a pipe to wait on, the call runs here.
template <class T> std::optional<T> RunOffThread(std::function<T()> work, int abortFd) {
    if (abortFd < 0) return work();
    auto r = RunOffThreadFor<T>(work, abortFd, -1);
    if (r.status == OffThreadStatus::NoPipe) return work();
    return std::move(r.value);
}

} // namespace tesseron
