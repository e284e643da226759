#pragma once

#include "desktop/NonCopyable.h"

#include <atomic>

namespace tesseron {

// A stop request that another thread can raise while an exchange waits. Waiting code
// polls fd() beside its socket, so an abort ends any wait at once instead of at the
// next time-out. Abort() is safe to call from any thread, any number of times.
class AbortHandle : NonCopyable {
public:
    AbortHandle();
    ~AbortHandle();

    void Abort() noexcept;
    bool Aborted() const noexcept { return aborted_.load(std::memory_order_acquire); }
    // Readable once Abort() has been called; never drained.
    int fd() const noexcept { return fd_; }

private:
    std::atomic<bool> aborted_{false};
    int fd_ = -1;
};

} // namespace tesseron
