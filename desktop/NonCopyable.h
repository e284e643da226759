#pragma once

namespace tesseron {

// A base for objects that own something no copy could share (a thread, a socket, a folder,
// items that point back at their owner): deriving from it says so once.
class NonCopyable {
public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;

protected:
    NonCopyable() = default;
    ~NonCopyable() = default;
};

} // namespace tesseron
