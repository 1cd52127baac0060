#pragma once

#include <string>
#include <string_view>

namespace rowsmith {

// Replaces the file at path with contents, all or nothing: the bytes go to a
// temporary file beside it, with the old file's mode, owner and group, which
// is flushed to disk and renamed over it. Symbolic links at path are
// followed to the end, so the links stay and the last target is replaced,
// but only as far as the kernel's protected-symlinks rule would follow them
// (EACCES past that). Only a regular file (or a new one) is replaced; a file
// the caller may not write is refused (EACCES), as opening it for writing
// would be. In a folder that takes no temporary file, a writable file is
// written in place. Returns 0, or the errno of the step that failed; on
// failure path is untouched and the temporary file is removed.
int ReplaceFile(const std::string& path, std::string_view contents);

// The steps of a replace, so that tests can make any one of them fail.
enum class ReplaceStep { CreateTemporary, SetMode, Write, Sync, Close, Rename };
// From now on, step fails with the errno hook returns for it (0: it goes on
// as usual). Null takes the hook away.
void SetReplaceFaultHook(int (*hook)(ReplaceStep step));

}  // namespace rowsmith
