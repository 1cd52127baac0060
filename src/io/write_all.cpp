#include "io/write_all.h"

#include <cerrno>

#include <unistd.h>

#include "io/status.h"
#include "io/stop_request.h"

namespace rowsmith {

int WriteAll(int fd, const char* data, std::size_t size, std::size_t* written) {
    std::size_t done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, OneCall(size - done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            // A signal: a stop request ends the write, any other goes on with it.
            if (StopSignal() != 0) {
                error = kStopped;
                break;
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if ((error = WaitFor(fd, Waiting::ToWrite)) != 0) break;
            continue;
        }
        error = n < 0 ? errno : EIO;
        break;
    }
    if (written) *written = done;
    return error;
}

}  // namespace rowsmith
