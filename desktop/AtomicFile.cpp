#include "desktop/AtomicFile.h"

#include "desktop/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tesseron {
namespace {

std::string ErrnoText(int err) {
    return std::strerror(err);
}

std::string RandomSuffix() {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(8, 'x');
    for (auto& c : s)
        c = kChars[rng() % (sizeof(kChars) - 1)];
    return s;
}

} // namespace

void CheckReplaceable(const std::filesystem::path& path) {
    const auto refuse = [&](const char* why) {
        throw FileWriteError("Unable to write to " + path.string() + ": " + why);
    };
    if (path.empty()) throw FileWriteError("Unable to write: no file name was given");
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return; // missing: created by the write
    if (S_ISLNK(st.st_mode)) refuse("it is a symbolic link");
    if (!S_ISREG(st.st_mode)) return; // the rename reports what is in the way
    // The mode bits count for every user, root too, as they do for the language files;
    // the access check covers a file of another owner.
    if ((st.st_mode & 0222) == 0 || (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 &&
                                     (errno == EACCES || errno == EPERM)))
        refuse("the file is read-only");
}

void WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::optional<mode_t> mode, FileModeRule rule) {
    const auto fail = [&](const std::string& what, int err) {
        throw FileWriteError("Unable to write to " + path.string() + ": " + what + " (" +
                             ErrnoText(err) + ")");
    };
    CheckReplaceable(path);

    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    const mode_t createMode = mode.value_or(0666);

    std::filesystem::path tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = path;
        tmp += ".tmp-" + RandomSuffix();
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (fd < 0 && errno != EEXIST) fail("cannot create a temporary file", errno);
    }
    if (fd < 0) fail("cannot create a temporary file", EEXIST);
    UniqueFd file(fd);
    bool renamed = false;
    struct Cleanup {
        const std::filesystem::path& tmp;
        bool& renamed;
        ~Cleanup() {
            if (!renamed) ::unlink(tmp.c_str());
        }
    } cleanup{tmp, renamed};

    const bool forced = rule == FileModeRule::Always && mode;
    if ((forced || exists) && ::fchmod(file.get(), forced ? *mode : existing.st_mode & 07777) != 0)
        fail("cannot set permissions", errno);

    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(file.get(), p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("write failed", errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(file.get()) != 0) fail("flush failed", errno);
    if (::close(file.release()) != 0) fail("close failed", errno);
    if (::rename(tmp.c_str(), path.c_str()) != 0) fail("cannot replace the file", errno);
    renamed = true;

    // Make the rename itself durable.
    const auto dir = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& content) {
    // Non-blocking, so a FIFO in a file's place is refused instead of waiting for a writer;
    // reads of a regular file are not affected.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) return errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL, false;
    // Read straight into the string; one spare byte tells whether the file has grown.
    content.assign(static_cast<std::size_t>(st.st_size) + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == content.size()) content.resize(content.size() * 2);
        const ssize_t n = ::read(fd.get(), content.data() + used, content.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    content.resize(used);
    return true;
}

} // namespace tesseron
