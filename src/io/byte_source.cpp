#include "io/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/status.h"
#include "io/stop_request.h"

namespace rowsmith {

std::string ByteSource::Describe(int error) const {
    return StatusText(error);
}

int PeekingSource::Peek(std::size_t size, bool (*more)(std::string_view start)) {
    size = std::min(size, kMostPeeked);
    while (startSize_ < size && more(start())) {
        std::size_t n = 0;
        if (const int error = inner_.Read(start_ + startSize_, size - startSize_, n)) return error;
        if (n == 0) break;
        startSize_ += n;
    }
    return 0;
}

int PeekingSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    if (given_ < startSize_) {
        got = std::min(size, startSize_ - given_);
        std::memcpy(buffer, start_ + given_, got);
        given_ += got;
        return 0;
    }
    return inner_.Read(buffer, size, got);
}

FdSource::FdSource(int fd) : fd_(fd) {
    struct stat info {};
    mayWait_ = ::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode));
}

int FdSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    for (;;) {
        if (mayWait_) {
            if (const int error = WaitFor(fd_, POLLIN)) return error;
        }
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            consumed_ += got;
            return 0;
        }
        // Nothing after all (non-blocking), or a signal: wait again, unless
        // the signal asked to stop.
        if (errno == EINTR && StopSignal() != 0) return kStopped;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return errno;
        mayWait_ = true;
    }
}

}  // namespace rowsmith
