#include "io/stop_request.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "io/status.h"

namespace rowsmith {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

// A pipe that holds a byte once a stop has been requested: a wait polls it
// beside its own descriptor, so that a request made just before the wait
// began ends it too. Made before main runs, before any signal is caught.
struct StopNotice {
    int fds[2] = {-1, -1};
    StopNotice() {
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            fds[0] = fds[1] = -1;
            return;
        }
        // Never standard input, output or error: one the program was started
        // without must stay closed, not become this pipe.
        for (int& fd : fds) {
            if (fd > 2) continue;
            const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
            ::close(fd);
            fd = moved;
        }
    }
};
const StopNotice notice;

void OnStopSignal(int signal) {
    RequestStop(signal);
}

}  // namespace

void RequestStop(int signal) noexcept {
    const int saved = errno;  // a handler leaves errno as it found it
    stopSignal = signal;
    const char byte = 1;
    if (notice.fds[1] >= 0 && ::write(notice.fds[1], &byte, 1) < 0) {
        // The pipe is full: it holds its byte already.
    }
    errno = saved;
}

int StopSignal() noexcept {
    return stopSignal;
}

void ClearStopRequest() noexcept {
    stopSignal = 0;
    char bytes[64];
    while (notice.fds[0] >= 0 && ::read(notice.fds[0], bytes, sizeof bytes) > 0) {
    }
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

const char* SignalName(int signal) {
    return ::strsignal(signal);
}

int WaitFor(int fd, Waiting what) {
    const short events = what == Waiting::ToRead ? POLLIN : POLLOUT;
    pollfd wanted[2] = {{fd, events, 0}, {notice.fds[0], POLLIN, 0}};
    for (;;) {
        if (StopSignal() != 0) return kStopped;
        const int ready = ::poll(wanted, 2, -1);
        if (ready < 0 && errno != EINTR) return errno;
        if (StopSignal() != 0) return kStopped;
        if (ready > 0 && wanted[0].revents != 0) return 0;
        if (ready > 0) ClearStopRequest();  // a byte left from a request already forgotten
    }
}

int WaitForStop(int milliseconds) {
    pollfd wanted{notice.fds[0], POLLIN, 0};
    if (StopSignal() == 0 && ::poll(&wanted, 1, milliseconds) < 0 && errno != EINTR) return 0;
    return StopSignal() != 0 ? kStopped : 0;
}

}  // namespace rowsmith
