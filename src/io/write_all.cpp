#include "io/write_all.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace rowsmith {

int WaitFor(int fd, short events) {
    pollfd wanted{fd, events, 0};
    for (;;) {
        if (::poll(&wanted, 1, -1) >= 0) return 0;
        if (errno != EINTR) return errno;
    }
}

int WriteAll(int fd, const char* data, std::size_t size, std::size_t* written) {
    std::size_t done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if ((error = WaitFor(fd, POLLOUT)) != 0) break;
            continue;
        }
        error = n < 0 ? errno : EIO;
        break;
    }
    if (written) *written = done;
    return error;
}

}  // namespace rowsmith
