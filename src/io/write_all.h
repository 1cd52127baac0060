#pragma once

#include <algorithm>
#include <cstddef>

namespace rowsmith {

// How many of size bytes one read or write call asks for: Windows' calls
// take an unsigned int, and no system moves more than this in one.
inline unsigned OneCall(std::size_t size) {
    return static_cast<unsigned>(std::min<std::size_t>(size, std::size_t{1} << 30));
}

// Writes all size bytes of data to fd, going on after short writes and
// interruptions, and waiting (poll) when fd is non-blocking and full.
// Returns 0, kStopped when a stop was requested meanwhile, or the errno of
// the write that failed (EIO when a write wrote nothing); *written, when
// given, says how many bytes did get written.
int WriteAll(int fd, const char* data, std::size_t size, std::size_t* written = nullptr);

}  // namespace rowsmith
