#include "query/AbortHandle.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tesseron {

AbortHandle::AbortHandle() {
    // An eventfd stays readable once written and is never drained, so every later wait
    // sees the abort too.
    fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd_ < 0)
        throw std::runtime_error(std::string("Cannot create the stop signal: ") +
                                 std::strerror(errno));
}

AbortHandle::~AbortHandle() {
    if (fd_ >= 0) close(fd_);
}

void AbortHandle::Abort() noexcept {
    aborted_.store(true, std::memory_order_release);
    const uint64_t one = 1;
    // A full counter (never reached in practice) still leaves the fd readable.
    [[maybe_unused]] auto n = write(fd_, &one, sizeof one);
}

} // namespace tesseron
