#include "io/open_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

#include "io/status.h"
#include "io/stop_request.h"

namespace rowsmith {

namespace {

// How often the open of a FIFO without a reader is tried again.
constexpr int kRetryMilliseconds = 50;

}  // namespace

int OpenForReading(const std::string& path, UniqueFd& fd) {
    fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return errno;
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        fd.Close();
        return EISDIR;
    }
    return 0;
}

int OpenForAppending(const std::string& path, UniqueFd& fd) {
    for (;;) {
        fd = UniqueFd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
        if (fd) return 0;
        if (errno != ENXIO) return errno;
        // A FIFO nobody reads yet: wait for a reader, or for a stop.
        if (WaitForStop(kRetryMilliseconds) == kStopped) return kStopped;
    }
}

int OpenAnew(const std::string& path, UniqueFd& fd) {
    fd = UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    return fd ? 0 : errno;
}

int NonBlockingWriter(int fd, UniqueFd& own) {
    own = UniqueFd();
    struct stat info {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_NONBLOCK) != 0 || ::fstat(fd, &info) != 0) return fd;
    if (!S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode)) return fd;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    own = UniqueFd(::open(self.c_str(), (flags & (O_ACCMODE | O_APPEND)) | O_NONBLOCK | O_CLOEXEC));
    return own ? own.get() : fd;
}

}  // namespace rowsmith
