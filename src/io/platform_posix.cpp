// What the program asks of a POSIX system: the file system seam
// (file_system.h) and the cores it may use (worker.h). Opening, replacing
// and stop requests have files of their own; platform_windows.cpp answers
// all of them on Windows.
#include "io/file_system.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <thread>

#include "io/status.h"
#include "io/stop_request.h"
#include "io/worker.h"

namespace rowsmith {

std::vector<std::string> StartProgram(int argc, char** argv) {
    return {argv, argv + argc};
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

unsigned UsableCores() {
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0)
        return static_cast<unsigned>(CPU_COUNT(&cores));
    return std::max(1U, std::thread::hardware_concurrency());
}

int Inspect(int fd, FileInfo& info) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return errno;
    info.regular = S_ISREG(status.st_mode);
    info.size = info.regular ? static_cast<std::uint64_t>(status.st_size) : 0;
    info.volume = static_cast<std::uint64_t>(status.st_dev);
    info.index = static_cast<std::uint64_t>(status.st_ino);
    return 0;
}

bool SameFile(const FileInfo& a, const FileInfo& b) {
    return a.volume == b.volume && a.index == b.index;
}

int ReopenForReading(int fd, UniqueFd& reader) {
    // The file itself, whatever name it has now or had: Linux's view of the
    // descriptor, not a path that may name another file by now.
    reader = UniqueFd(::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC));
    return reader.get() >= 0 ? 0 : errno;
}

int ReadAt(int fd, char* buffer, std::size_t size, std::uint64_t offset, std::size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return 0;
}

int CutFile(int fd, std::uint64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int SyncToDisk(int fd) {
    return ::fsync(fd) == 0 ? 0 : errno;
}

int RemoveFile(const char* path) {
    return ::unlink(path) == 0 || errno == ENOENT ? 0 : errno;
}

int PlaceOf(int fd, std::uint64_t& place) {
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at < 0) return errno;
    place = static_cast<std::uint64_t>(at);
    return 0;
}

int MoveTo(int fd, std::uint64_t place) {
    return ::lseek(fd, static_cast<off_t>(place), SEEK_SET) >= 0 ? 0 : errno;
}

bool WritesAtEnd(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_APPEND) != 0;
}

namespace {

// A POSIX record lock on the whole file, from its start to its end
// whatever that becomes.
int SetLock(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_SETLK, &lock) == 0 ? 0 : errno;
}

constexpr int kRetryMilliseconds = 20;

}  // namespace

FileLock::~FileLock() {
    if (fd_ >= 0) SetLock(fd_, F_UNLCK);
}

int FileLock::Take(int fd) {
    for (;;) {
        const int error = SetLock(fd, F_WRLCK);
        if (error == 0) {
            fd_ = fd;
            return 0;
        }
        if (error != EACCES && error != EAGAIN) return 0;
        if (WaitForStop(kRetryMilliseconds) == kStopped) return kStopped;
    }
}

int OpenNowhere(UniqueFd& nowhere) {
    nowhere = UniqueFd(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    return nowhere.get() >= 0 ? 0 : errno;
}

int OpenMemoryFile(UniqueFd& file) {
    file = UniqueFd(::memfd_create("rowsmith", MFD_CLOEXEC));
    return file.get() >= 0 ? 0 : errno;
}

int OpenRegularFile(const char* path, UniqueFd& file, FileInfo& info) {
    file = UniqueFd(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file) return errno;
    if (const int error = Inspect(file.get(), info)) return error;
    return info.regular ? 0 : kNotRegularFile;
}

bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

bool IsTerminal(int fd) {
    return ::isatty(fd) == 1;
}

bool SameTerminal(int a, int b) {
    struct stat first {};
    struct stat second {};
    return IsTerminal(a) && IsTerminal(b) && ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 &&
           first.st_rdev == second.st_rdev;
}

}  // namespace rowsmith
