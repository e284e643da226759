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

// Runs a blocking call that cannot be interrupted (a resolver look-up) on a helper thread
// and waits for it while watching `abortFd`. Returns nullopt when aborted; the abandoned
// call then finishes on its own and its result is dropped. The state is shared, so the
// helper never writes into memory the caller has freed.
template <class T> std::optional<T> RunOffThread(std::function<T()> work, int abortFd) {
    if (abortFd < 0) return work();
    struct State {
        std::mutex mutex;
        std::optional<T> result;
        Socket readEnd;
        Socket writeEnd;
    };
    auto state = std::make_shared<State>();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return work();
    state->readEnd.Reset(fds[0]);
    state->writeEnd.Reset(fds[1]);
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
            [[maybe_unused]] auto n = ::write(state->writeEnd.fd(), &done, 1);
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    if (WaitFor(state->readEnd.fd(), POLLIN, -1, abortFd) == WaitStatus::Aborted)
        return std::nullopt;
    std::lock_guard lock(state->mutex);
    return std::move(state->result);
}

} // namespace tesseron
