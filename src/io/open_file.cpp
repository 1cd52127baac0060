#include "io/open_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace rowsmith {

int OpenForReading(const std::string& path, UniqueFd& fd) {
    fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return errno;
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        fd.Close();
        return EISDIR;
    }
    return 0;
}

int OpenForAppending(const std::string& path, UniqueFd& fd) {
    fd = UniqueFd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    return fd ? 0 : errno;
}

}  // namespace rowsmith
