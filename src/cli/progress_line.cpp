#include "cli/progress_line.h"

#include <unistd.h>

#include <cstdio>

namespace rowsmith {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

void WriteText(int fd, const char* text, int length) {
    if (length > 0 && ::write(fd, text, static_cast<unsigned>(length)) < 0) {
        // A progress line that cannot be shown is no reason to stop.
    }
}

}  // namespace

ProgressLine::ProgressLine(int fd, bool enabled, Clock::duration delay)
    : fd_(fd), enabled_(enabled), delay_(delay), start_(Clock::now()) {}

bool ProgressLine::Continue(std::uint64_t bytesRead, std::uint64_t totalBytes) {
    if (!enabled_) return true;
    const Clock::time_point now = Clock::now();
    if (now - start_ < delay_ || (drawn_ && now - lastDrawn_ < kRedrawEvery)) return true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(bytesRead) / 1e6 / seconds : 0.0;
    char line[96];
    int length;
    if (totalBytes > 0) {
        const int percent = static_cast<int>(bytesRead * 100 / totalBytes);
        length = std::snprintf(line, sizeof line, "\r%3d%%  %.1f MB/s", percent, rate);
    } else {
        length = std::snprintf(line, sizeof line, "\r%.1f MB  %.1f MB/s", static_cast<double>(bytesRead) / 1e6, rate);
    }
    WriteText(fd_, line, length);
    drawn_ = true;
    lastDrawn_ = now;
    return true;
}

void ProgressLine::Clear() {
    if (drawn_) WriteText(fd_, "\r\033[K", 4);
    drawn_ = false;
}

}  // namespace rowsmith
