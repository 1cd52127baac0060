#include "io/byte_source.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

#include "io/status.h"
#include "io/write_all.h"

namespace rowsmith {

std::string ByteSource::Describe(int error) const {
    return StatusText(error);
}

int FdSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            consumed_ += got;
            return 0;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A non-blocking descriptor with nothing yet: wait for it.
            if (const int error = WaitFor(fd_, POLLIN)) return error;
            continue;
        }
        if (errno != EINTR) return errno;
    }
}

}  // namespace rowsmith
