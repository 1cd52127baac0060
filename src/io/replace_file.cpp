#include "io/replace_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/unique_fd.h"
#include "io/write_all.h"

namespace rowsmith {

namespace {

// The file a link at path ends in, or path itself when it is no link. A
// dangling link gives the name it points to.
std::string FinalTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        std::string target(resolved);
        std::free(resolved);
        return target;
    }
    std::vector<char> link(PATH_MAX);
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0) return path;
    std::string target(link.data(), static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (target[0] != '/' && slash != std::string::npos) target.insert(0, path, 0, slash + 1);
    return target;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

int ReplaceFile(const std::string& path, std::string_view contents) {
    const std::string target = FinalTarget(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    // Only a regular file is replaced: never a directory, and never a device
    // that a link may point at.
    if (exists && S_ISDIR(old.st_mode)) return EISDIR;
    if (exists && !S_ISREG(old.st_mode)) return EINVAL;
    if (exists && ::access(target.c_str(), W_OK) != 0) return errno;

    std::string temporary = target + ".XXXXXX";
    UniqueFd fd(::mkstemp(temporary.data()));
    if (!fd) return errno;
    const mode_t mode = exists ? (old.st_mode & 07777) : NewFileMode();
    int error = ::fchmod(fd.get(), mode) != 0 ? errno : WriteAll(fd.get(), contents.data(), contents.size());
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    if (error == 0) error = fd.Close();
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    // Make the rename itself survive a crash.
    UniqueFd directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory) ::fsync(directory.get());
    return 0;
}

}  // namespace rowsmith
