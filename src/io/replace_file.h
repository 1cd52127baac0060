#pragma once

#include <string>
#include <string_view>

namespace rowsmith {

// Replaces the file at path with contents, all or nothing: the bytes go to a
// temporary file beside it, which is flushed to disk and renamed over path.
// A symbolic link at path is followed, so the link stays and its target is
// replaced. Only a regular file (or a new one) is replaced; a file the caller
// may not write is refused (EACCES), as opening it for writing would be.
// Returns 0, or the errno of the step that failed; on failure path is
// untouched and the temporary file is removed.
int ReplaceFile(const std::string& path, std::string_view contents);

}  // namespace rowsmith
