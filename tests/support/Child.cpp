#include "support/Child.h"

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

namespace tesseron::test {

int RunInChild(const std::function<int()>& body, bool unprivileged) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int code = 99;
        if (unprivileged && ::geteuid() == 0 &&
            (::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0))
            ::_exit(98);
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace tesseron::test
