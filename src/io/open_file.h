#pragma once

#include <string>

#include "io/unique_fd.h"

namespace rowsmith {

// Opens path for reading into fd. A directory opens but cannot be read, so
// it is refused here (EISDIR). Returns 0 or the errno of the failure, with
// fd closed.
int OpenForReading(const std::string& path, UniqueFd& fd);

// Opens path for appending into fd, creating it when it is missing.
// Returns 0 or the errno of the failure, with fd closed.
int OpenForAppending(const std::string& path, UniqueFd& fd);

}  // namespace rowsmith
