#include "convert/read/skipped_lines.h"

#include <cstring>

namespace rowsmith {

void SkippedLines::Skip(char* buffer, std::size_t& got) {
    std::size_t at = 0;
    if (afterCr_ && got > 0) {
        afterCr_ = false;
        at += buffer[0] == '\n' ? 1U : 0U;
    }
    while (left_ > 0 && at < got) {
        const char c = buffer[at++];
        if (c == '\n' || (c == '\r' && crEnds_)) {
            --left_;
            if (c == '\r') {
                if (at == got) {
                    afterCr_ = true;
                } else if (buffer[at] == '\n') {
                    ++at;
                }
            }
        }
    }
    std::memmove(buffer, buffer + at, got - at);
    got -= at;
}

int SkippedLines::Read(char* buffer, std::size_t size, std::size_t& got) {
    for (;;) {
        const bool skipping = left_ > 0 || afterCr_;
        if (const int error = inner_.Read(buffer, size, got)) return error;
        if (!skipping || got == 0) return 0;
        Skip(buffer, got);
        // All of a read skipped: the records begin further on.
        if (got > 0) return 0;
    }
}

}  // namespace rowsmith
