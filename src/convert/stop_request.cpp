#include "convert/stop_request.h"

#include <csignal>

namespace rowsmith {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

}  // namespace

void RequestStop(int signal) noexcept {
    stopSignal = signal;
}

int StopSignal() noexcept {
    return stopSignal;
}

void ClearStopRequest() noexcept {
    stopSignal = 0;
}

}  // namespace rowsmith
