#include "io/replace_file.h"

#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/status.h"
#include "io/unique_fd.h"
#include "io/write_all.h"

namespace rowsmith {

namespace {

// Links followed at most, as the kernel does.
constexpr int kMaxLinks = 40;

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether the kernel's protected-symlinks rule lets this process follow
// the link at path (whose own details are link): in a sticky directory that
// anybody may write to, only a link of this user or of the directory's
// owner is followed.
bool MayFollow(const std::string& path, const struct stat& link) {
    struct stat directory {};
    if (::stat(DirectoryOf(path).c_str(), &directory) != 0) return false;
    const bool sharedAndSticky = (directory.st_mode & S_ISVTX) != 0 && (directory.st_mode & S_IWOTH) != 0;
    return !sharedAndSticky || link.st_uid == ::geteuid() || link.st_uid == directory.st_uid;
}

// The name that path comes to once every link on the way is followed (a
// dangling link gives the name it points to); 0 or an errno.
int FinalTarget(const std::string& path, std::string& target) {
    target = path;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 0;
        if (!MayFollow(target, info)) return EACCES;
        std::vector<char> link(PATH_MAX);
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0) return n < 0 ? errno : ENOENT;
        std::string next(link.data(), static_cast<std::size_t>(n));
        if (next[0] != '/' && target.find('/') != std::string::npos) next.insert(0, DirectoryOf(target) + "/");
        target = std::move(next);
    }
    return ELOOP;
}

int (*faultHook)(ReplaceStep) = nullptr;

// The errno a test wants step to fail with, or 0.
int Fault(ReplaceStep step) {
    return faultHook ? faultHook(step) : 0;
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes contents over the file at target itself: for a folder where no
// temporary file can be made.
int WriteInPlace(const std::string& target, std::string_view contents) {
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return errno;
    int error = WriteAll(fd.get(), contents.data(), contents.size());
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    if (error == 0) error = fd.Close();
    return error;
}

}  // namespace

void SetReplaceFaultHook(int (*hook)(ReplaceStep step)) {
    faultHook = hook;
}

namespace {

// A step of the replace: the fault a test wants for it, or the step itself.
template <typename Action>
int Step(ReplaceStep step, const Action& action) {
    const int fault = Fault(step);
    return fault != 0 ? fault : action();
}

int Errno(bool succeeded) {
    return succeeded ? 0 : errno;
}

// The new file keeps the old one's owner and group where this process may
// give them (root may; a user keeps what is already theirs).
void KeepOwner(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // The new file is the user's own, as any file they write is.
    }
}

// Gives the temporary file the old file's owner and mode (a new file's mode
// when there is no old one), the contents, and the target's place; 0 or
// the errno of the step that failed.
int FillAndRename(UniqueFd& fd, const std::string& temporary, const std::string& target, const struct stat* old,
                  std::string_view contents) {
    if (old) KeepOwner(fd.get(), *old);
    const mode_t mode = old ? (old->st_mode & 07777) : NewFileMode();
    int error = Step(ReplaceStep::SetMode, [&] { return Errno(::fchmod(fd.get(), mode) == 0); });
    if (error == 0)
        error = Step(ReplaceStep::Write, [&] { return WriteAll(fd.get(), contents.data(), contents.size()); });
    if (error == 0) error = Step(ReplaceStep::Sync, [&] { return Errno(::fsync(fd.get()) == 0); });
    if (error == 0) error = Step(ReplaceStep::Close, [&] { return fd.Close(); });
    if (error == 0) {
        error = Step(ReplaceStep::Rename, [&] { return Errno(::rename(temporary.c_str(), target.c_str()) == 0); });
    }
    return error;
}

}  // namespace

int ReplaceFile(const std::string& path, std::string_view contents) {
    std::string target;
    if (const int error = FinalTarget(path, target)) return error;
    struct stat old {};
    const bool exists = ::lstat(target.c_str(), &old) == 0;
    // Only a regular file is replaced: never a directory, and never a device
    // or pipe that a link may point at.
    if (exists && S_ISDIR(old.st_mode)) return EISDIR;
    if (exists && !S_ISREG(old.st_mode)) return kNotRegularFile;
    if (exists && ::access(target.c_str(), W_OK) != 0) return errno;

    std::string temporary = target + ".XXXXXX";
    UniqueFd fd;
    if (const int error = Step(ReplaceStep::CreateTemporary, [&] {
            fd = UniqueFd(::mkstemp(temporary.data()));
            return Errno(static_cast<bool>(fd));
        })) {
        // A folder that takes no new file may still let the file itself be written.
        return exists && (error == EACCES || error == EPERM || error == EROFS) ? WriteInPlace(target, contents) : error;
    }
    if (const int error = FillAndRename(fd, temporary, target, exists ? &old : nullptr, contents)) {
        ::unlink(temporary.c_str());
        return error;
    }
    // Make the rename itself survive a crash.
    UniqueFd directory(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory) ::fsync(directory.get());
    return 0;
}

}  // namespace rowsmith
