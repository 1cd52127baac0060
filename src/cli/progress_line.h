#pragma once

#include <chrono>
#include <cstdint>

#include "convert/run/run_report.h"

namespace rowsmith {

// A one-line progress display on a terminal: percent of the input and
// MB/s, redrawn in place, shown only once a run has taken longer than
// delay, and wiped by Clear().
class ProgressLine : public RunObserver {
public:
    using Clock = std::chrono::steady_clock;

    ProgressLine(int fd, bool enabled, Clock::duration delay = std::chrono::seconds(1));

    bool Continue(std::uint64_t bytesRead, std::uint64_t totalBytes) override;
    void Clear();

private:
    int fd_;
    bool enabled_;
    Clock::duration delay_;
    Clock::time_point start_;
    Clock::time_point lastDrawn_{};
    bool drawn_ = false;
};

}  // namespace rowsmith
