// What the program asks of Windows: the file system seam (file_system.h),
// the cores (worker.h), opening files (open_file.h), replacing one whole
// (replace_file.h), stop requests (stop_request.h) and SHA-256 (sha256.h);
// on Linux, platform_posix.cpp and the files beside it answer them.
// Descriptors are the C runtime's, always in binary mode (text mode would
// write CR LF and move every offset a cut-back relies on) and never
// inherited; names arrive in UTF-8 and go to Windows in UTF-16. Windows'
// own error codes become the errno values the rest of the program knows.
#include <windows.h>
// After windows.h, which they need.
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
// windows.h names ReplaceFileW so; the program's own is meant here.
#undef ReplaceFile

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <utility>

#include <iconv.h>

#include "io/charset_tables.h"
#include "io/file_system.h"
#include "io/open_file.h"
#include "io/replace_file.h"
#include "io/sha256.h"
#include "io/status.h"
#include "io/stop_request.h"
#include "io/worker.h"
#include "io/write_all.h"

namespace rowsmith {

namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Utf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back();  // the terminating NUL
    return utf8;
}

// The errno that says what Windows' error code says.
int ErrnoOf(DWORD error) {
    static constexpr std::pair<DWORD, int> kErrors[] = {
        {ERROR_FILE_NOT_FOUND, ENOENT},
        {ERROR_PATH_NOT_FOUND, ENOENT},
        {ERROR_INVALID_NAME, ENOENT},
        {ERROR_BAD_NETPATH, ENOENT},
        {ERROR_ACCESS_DENIED, EACCES},
        {ERROR_SHARING_VIOLATION, EACCES},
        {ERROR_LOCK_VIOLATION, EACCES},
        {ERROR_WRITE_PROTECT, EROFS},
        {ERROR_DISK_FULL, ENOSPC},
        {ERROR_HANDLE_DISK_FULL, ENOSPC},
        {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
        {ERROR_OUTOFMEMORY, ENOMEM},
        {ERROR_BROKEN_PIPE, EPIPE},
        {ERROR_NO_DATA, EPIPE},
        {ERROR_INVALID_HANDLE, EBADF},
        {ERROR_FILE_EXISTS, EEXIST},
        {ERROR_ALREADY_EXISTS, EEXIST},
        {ERROR_DIRECTORY, ENOTDIR},
        {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
        {ERROR_NEGATIVE_SEEK, EINVAL},
        {ERROR_INVALID_PARAMETER, EINVAL},
    };
    for (const auto& [code, value] : kErrors) {
        if (code == error) return value;
    }
    return EIO;
}

int LastErrno() {
    return ErrnoOf(::GetLastError());
}

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));  // NOLINT(performance-no-int-to-ptr): the runtime's own
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens path with CreateFileW (every other opener may read, write and
// delete it meanwhile, as on Linux) as a C runtime descriptor with flags.
// A handle Windows opened (or INVALID_HANDLE_VALUE, its failure) as a C
// runtime descriptor with flags, in binary mode and not inherited.
int AsDescriptor(HANDLE handle, int flags, UniqueFd& fd) {
    fd = UniqueFd();
    if (handle == INVALID_HANDLE_VALUE) return LastErrno();
    const int opened = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY | _O_NOINHERIT);
    if (opened < 0) {
        ::CloseHandle(handle);
        return EMFILE;
    }
    fd = UniqueFd(opened);
    return 0;
}

int OpenPath(const std::string& path, DWORD access, DWORD disposition, DWORD attributes, int flags, UniqueFd& fd) {
    return AsDescriptor(::CreateFileW(Wide(path).c_str(), access, kShareAll, nullptr, disposition, attributes, nullptr),
                        flags, fd);
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The descriptors opened for appending, by their handles: the runtime keeps
// the mode to itself.
std::mutex appendingMutex;
std::set<std::pair<int, HANDLE>> appending;

}  // namespace

// ---- The program's start and the cores ----

namespace {

// The console's code page before the program set UTF-8: given back at exit,
// so that the console goes on as the user had it.
UINT consoleCodePage = 0;

void GiveBackCodePage() {
    ::SetConsoleOutputCP(consoleCodePage);
}

}  // namespace

std::vector<std::string> StartProgram(int argc, char** argv) {
    for (const int fd : {0, 1, 2}) ::_setmode(fd, _O_BINARY);
    // Messages are UTF-8, as the names in them are.
    consoleCodePage = ::GetConsoleOutputCP();
    if (consoleCodePage != 0 && consoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8) != 0)
        std::atexit(GiveBackCodePage);
    // The command line as typed, not as the ANSI code page can say it.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return {argv, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
    ::LocalFree(static_cast<HLOCAL>(wide));
    return arguments;
}

bool PathExists(const std::string& path) {
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

unsigned UsableCores() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) != 0 && process != 0)
        return static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
    return std::max(1U, std::thread::hardware_concurrency());
}

// ---- The file system seam ----

int Inspect(int fd, FileInfo& info) {
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE) return EBADF;
    info = FileInfo{};
    BY_HANDLE_FILE_INFORMATION file{};
    if (::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &file) != 0) {
        info.regular = (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        info.size = info.regular ? (std::uint64_t{file.nFileSizeHigh} << 32) | file.nFileSizeLow : 0;
        info.volume = file.dwVolumeSerialNumber;
        info.index = (std::uint64_t{file.nFileIndexHigh} << 32) | file.nFileIndexLow;
        return 0;
    }
    // A pipe or a device: known by its handle alone, never the same as a file.
    info.volume = ~std::uint64_t{0};
    info.index = reinterpret_cast<std::uintptr_t>(handle);
    return 0;
}

bool SameFile(const FileInfo& a, const FileInfo& b) {
    return a.volume == b.volume && a.index == b.index;
}

int ReopenForReading(int fd, UniqueFd& reader) {
    return AsDescriptor(::ReOpenFile(HandleOf(fd), GENERIC_READ, kShareAll, 0), _O_RDONLY, reader);
}

int ReadAt(int fd, char* buffer, std::size_t size, std::uint64_t offset, std::size_t& got) {
    // A read at an offset moves a handle's place on Windows: it is put back,
    // and reads at a place take turns, so that none puts back another's.
    static std::mutex turns;
    const std::lock_guard<std::mutex> lock(turns);
    got = 0;
    const HANDLE handle = HandleOf(fd);
    LARGE_INTEGER place{};
    if (::SetFilePointerEx(handle, LARGE_INTEGER{}, &place, FILE_CURRENT) == 0) return LastErrno();
    int error = 0;
    while (got < size) {
        OVERLAPPED at{};
        const std::uint64_t from = offset + got;
        at.Offset = static_cast<DWORD>(from);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        DWORD n = 0;
        if (::ReadFile(handle, buffer + got, OneCall(size - got), &n, &at) == 0) {
            if (::GetLastError() != ERROR_HANDLE_EOF) error = LastErrno();
            break;
        }
        if (n == 0) break;
        got += n;
    }
    ::SetFilePointerEx(handle, place, nullptr, FILE_BEGIN);
    return error;
}

int CutFile(int fd, std::uint64_t size) {
    return ::_chsize_s(fd, static_cast<long long>(size));
}

int SyncToDisk(int fd) {
    return ::FlushFileBuffers(HandleOf(fd)) != 0 ? 0 : LastErrno();
}

int RemoveFile(const char* path) {
    if (::DeleteFileW(Wide(path).c_str()) != 0) return 0;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : ErrnoOf(error);
}

int PlaceOf(int fd, std::uint64_t& place) {
    const long long at = ::_lseeki64(fd, 0, SEEK_CUR);
    if (at < 0) return errno;
    place = static_cast<std::uint64_t>(at);
    return 0;
}

int MoveTo(int fd, std::uint64_t place) {
    return ::_lseeki64(fd, static_cast<long long>(place), SEEK_SET) >= 0 ? 0 : errno;
}

bool WritesAtEnd(int fd) {
    const std::lock_guard<std::mutex> lock(appendingMutex);
    return appending.count({fd, HandleOf(fd)}) != 0;
}

namespace {

// Windows' locks keep every other handle out of the bytes they cover, the
// run's own reads of its output too: the lock covers one byte far past
// any file's end instead, which only runs ask for.
constexpr DWORD kLockByteHigh = 0x7FFFFFFF;
constexpr DWORD kLockByteLow = 0xFFFFFFFE;
constexpr int kRetryMilliseconds = 20;

}  // namespace

FileLock::~FileLock() {
    if (fd_ < 0) return;
    OVERLAPPED at{};
    at.Offset = kLockByteLow;
    at.OffsetHigh = kLockByteHigh;
    ::UnlockFileEx(HandleOf(fd_), 0, 1, 0, &at);
}

int FileLock::Take(int fd) {
    for (;;) {
        OVERLAPPED at{};
        at.Offset = kLockByteLow;
        at.OffsetHigh = kLockByteHigh;
        if (::LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0) {
            fd_ = fd;
            return 0;
        }
        if (::GetLastError() != ERROR_LOCK_VIOLATION) return 0;  // a file that takes no lock
        if (WaitForStop(kRetryMilliseconds) == kStopped) return kStopped;
    }
}

int OpenNowhere(UniqueFd& nowhere) {
    return OpenPath("NUL", GENERIC_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, _O_WRONLY, nowhere);
}

int OpenMemoryFile(UniqueFd& file) {
    // A temporary file the system keeps in memory while it can and removes
    // once closed.
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (::GetTempPathW(MAX_PATH + 1, folder) == 0 || ::GetTempFileNameW(folder, L"rsm", 0, name) == 0)
        return LastErrno();
    return OpenPath(Utf8(name), GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, _O_RDWR, file);
}

int OpenRegularFile(const char* path, UniqueFd& file, FileInfo& info) {
    if (IsDirectory(path)) return kNotRegularFile;
    if (const int error = OpenPath(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, _O_RDONLY, file))
        return error;
    if (const int error = Inspect(file.get(), info)) return error;
    return info.regular ? 0 : kNotRegularFile;
}

bool IsOpen(int fd) {
    return HandleOf(fd) != INVALID_HANDLE_VALUE && HandleOf(fd) != nullptr;
}

bool IsTerminal(int fd) {
    DWORD mode = 0;
    return ::GetConsoleMode(HandleOf(fd), &mode) != 0;
}

bool SameTerminal(int a, int b) {
    // A process has one console at most.
    return IsTerminal(a) && IsTerminal(b);
}

// ---- Opening ----

int OpenForReading(const std::string& path, UniqueFd& fd) {
    if (IsDirectory(path)) return EISDIR;
    return OpenPath(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, _O_RDONLY, fd);
}

int OpenForAppending(const std::string& path, UniqueFd& fd) {
    if (IsDirectory(path)) return EISDIR;
    if (const int error =
            OpenPath(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, _O_RDWR | _O_APPEND, fd))
        return error;
    const std::lock_guard<std::mutex> lock(appendingMutex);
    std::erase_if(appending, [&](const auto& entry) { return entry.first == fd.get(); });
    appending.insert({fd.get(), HandleOf(fd.get())});
    return 0;
}

int OpenAnew(const std::string& path, UniqueFd& fd) {
    if (IsDirectory(path)) return EISDIR;
    return OpenPath(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, _O_RDWR, fd);
}

int NonBlockingWriter(int fd, UniqueFd& own) {
    // Windows has no non-blocking pipes to speak of: writes wait as they are.
    own = UniqueFd();
    return fd;
}

// ---- Replacing a file whole ----

namespace {

int (*faultHook)(ReplaceStep) = nullptr;

template <typename Action>
int Step(ReplaceStep step, const Action& action) {
    const int fault = faultHook != nullptr ? faultHook(step) : 0;
    return fault != 0 ? fault : action();
}

int WriteInPlace(const std::string& path, std::string_view contents) {
    UniqueFd fd;
    if (const int error = OpenPath(path, GENERIC_WRITE, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, _O_WRONLY, fd))
        return error;
    int error = WriteAll(fd.get(), contents.data(), contents.size());
    if (error == 0) error = SyncToDisk(fd.get());
    const int closed = fd.Close();
    return error != 0 ? error : closed;
}

}  // namespace

void SetReplaceFaultHook(int (*hook)(ReplaceStep step)) {
    faultHook = hook;
}

int ReplaceFile(const std::string& path, std::string_view contents) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EISDIR;
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return EACCES;
    if (exists && (attributes & FILE_ATTRIBUTE_DEVICE) != 0) return kNotRegularFile;

    std::string temporary;
    UniqueFd fd;
    const int made = Step(ReplaceStep::CreateTemporary, [&] {
        int error = EEXIST;
        for (unsigned attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
            temporary = path + "." + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(attempt);
            error = OpenPath(temporary, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, _O_WRONLY, fd);
        }
        return error;
    });
    if (made != 0) return exists && (made == EACCES || made == EROFS) ? WriteInPlace(path, contents) : made;
    int error = Step(ReplaceStep::SetMode, [] { return 0; });  // Windows keeps no mode to copy
    if (error == 0)
        error = Step(ReplaceStep::Write, [&] { return WriteAll(fd.get(), contents.data(), contents.size()); });
    if (error == 0) error = Step(ReplaceStep::Sync, [&] { return SyncToDisk(fd.get()); });
    if (error == 0) error = Step(ReplaceStep::Close, [&] { return fd.Close(); });
    if (error == 0) {
        error = Step(ReplaceStep::Rename, [&] {
            return ::MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0
                       ? 0
                       : LastErrno();
        });
    }
    if (error != 0) {
        fd.Close();
        RemoveFile(temporary.c_str());
    }
    return error;
}

// ---- Stop requests ----

namespace {

std::atomic<int> stopSignal{0};
// Set while a stop is requested: waits wait on it beside what they wait for.
const HANDLE stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
// The signals a console's events stand for, as on Linux.
constexpr int kHangup = 1;
constexpr int kTerminated = 15;
// How often a wait for a pipe's bytes looks again.
constexpr DWORD kPipeLookMilliseconds = 10;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            RequestStop(SIGINT);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends when this returns: the run has until then to
            // end after its statement and cut back what it must.
            RequestStop(event == CTRL_CLOSE_EVENT ? kHangup : kTerminated);
            ::Sleep(INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void RequestStop(int signal) noexcept {
    stopSignal = signal;
    ::SetEvent(stopEvent);
}

int StopSignal() noexcept {
    return stopSignal;
}

void ClearStopRequest() noexcept {
    stopSignal = 0;
    ::ResetEvent(stopEvent);
}

void CatchStopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

const char* SignalName(int signal) {
    // As glibc names them, so that messages read the same on both.
    switch (signal) {
        case SIGINT:
            return "Interrupt";
        case kHangup:
            return "Hangup";
        case kTerminated:
            return "Terminated";
        default:
            return "Unknown signal";
    }
}

int WaitFor(int fd, Waiting what) {
    const HANDLE handle = HandleOf(fd);
    DWORD mode = 0;
    if (what == Waiting::ToRead && ::GetFileType(handle) == FILE_TYPE_PIPE) {
        // A pipe cannot be waited on with a stop beside it: look for bytes
        // (or the writer's end) every few milliseconds instead.
        for (;;) {
            if (StopSignal() != 0) return kStopped;
            DWORD ready = 0;
            if (::PeekNamedPipe(handle, nullptr, 0, nullptr, &ready, nullptr) == 0 || ready > 0) return 0;
            if (::WaitForSingleObject(stopEvent, kPipeLookMilliseconds) == WAIT_OBJECT_0) return kStopped;
        }
    }
    if (what == Waiting::ToRead && ::GetConsoleMode(handle, &mode) != 0) {
        const HANDLE both[2] = {stopEvent, handle};
        const DWORD woken = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
        return woken == WAIT_OBJECT_0 ? kStopped : 0;
    }
    return StopSignal() != 0 ? kStopped : 0;
}

int WaitForStop(int milliseconds) {
    if (StopSignal() != 0) return kStopped;
    return ::WaitForSingleObject(stopEvent, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0 ? kStopped : 0;
}

// ---- SHA-256, from the system's cryptography ----

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash != nullptr) ::BCryptDestroyHash(hash);
        if (algorithm != nullptr) ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (::BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
        ::BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) != 0)
        throw std::bad_alloc();
}

Sha256::~Sha256() = default;

void Sha256::Add(const char* data, std::size_t size) {
    while (size > 0) {
        const unsigned n = OneCall(size);
        ::BCryptHashData(state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), n, 0);
        data += n;
        size -= n;
    }
}

std::string Sha256::Hex() {
    unsigned char digest[32];
    ::BCryptFinishHash(state_->hash, digest, sizeof digest, 0);
    ::BCryptDestroyHash(state_->hash);
    state_->hash = nullptr;
    if (::BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) != 0) throw std::bad_alloc();
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

}  // namespace rowsmith

// ---- iconv, from tables ----

iconv_t iconv_open(const char* to, const char* from) {
    void* decoder = rowsmith::OpenTableDecoder(to, from);
    return decoder != nullptr ? decoder
                              : reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr): iconv's own
}

std::size_t iconv(iconv_t descriptor, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
    return rowsmith::TableDecode(descriptor, in, inLeft, out, outLeft);
}

int iconv_close(iconv_t descriptor) {
    rowsmith::CloseTableDecoder(descriptor);
    return 0;
}
