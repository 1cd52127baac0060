#pragma once

#include <cstddef>

namespace rowsmith {

// Writes all size bytes of data to fd, going on after short writes and
// interruptions, and waiting (poll) when fd is non-blocking and full.
// Returns 0, kStopped when a stop was requested meanwhile, or the errno of
// the write that failed (EIO when a write wrote nothing); *written, when
// given, says how many bytes did get written.
int WriteAll(int fd, const char* data, std::size_t size, std::size_t* written = nullptr);

}  // namespace rowsmith
