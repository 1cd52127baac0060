#pragma once

#include <string>

#include "io/unique_fd.h"

namespace rowsmith {

// Opens path for reading into fd. A directory opens but cannot be read, so
// it is refused here (EISDIR). A FIFO opens at once, without waiting for a
// writer (reads wait for its bytes instead). Returns 0 or the errno of the
// failure, with fd closed.
int OpenForReading(const std::string& path, UniqueFd& fd);

// Opens path for appending into fd, creating it when it is missing. A FIFO
// is waited on until a reader opens it, or a stop is requested (kStopped).
// Returns 0, kStopped or the errno of the failure, with fd closed.
int OpenForAppending(const std::string& path, UniqueFd& fd);

// Opens path for writing into fd, empty: made when missing, cut to nothing
// when not. Returns 0 or the errno of the failure, with fd closed.
int OpenAnew(const std::string& path, UniqueFd& fd);

// A descriptor for writing to what fd writes to, whose writes never wait:
// for a pipe, FIFO or terminal, a new non-blocking opening of it, so that
// writes wait in poll, where a stop request ends them, without changing a
// descriptor other programs share. Sets own to it, or leaves own closed
// when fd serves as it is (a regular file, or nothing else can be had).
// Returns the descriptor to write to.
int NonBlockingWriter(int fd, UniqueFd& own);

}  // namespace rowsmith
