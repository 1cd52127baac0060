#pragma once

#include <cstddef>

namespace rowsmith {

// Writes all size bytes of data to fd, going on after short writes and
// interruptions. Returns 0, or the errno of the write that failed (EIO when
// a write wrote nothing); bytes before the failure may have been written.
int WriteAll(int fd, const char* data, std::size_t size);

}  // namespace rowsmith
