#pragma once

#include <functional>

namespace tesseron::test {

// The user a test child runs as when it must not be root: "nobody".
inline constexpr unsigned kUnprivilegedId = 65534;

// Runs `body` in a forked child and returns its exit status, or -1 when the child died of
// a signal; an exception in the child gives 99. With `unprivileged`, a child of root
// first becomes kUnprivilegedId, so that permission bits hold for it as for any user
// (folders it must reach have to be open to it).
int RunInChild(const std::function<int()>& body, bool unprivileged = false);

} // namespace tesseron::test
