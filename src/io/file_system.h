#pragma once

// What the engine asks of the file system about a file it has open: what
// kind of file it is and which, a second descriptor to read it through,
// reads at a place, a cut, the lock runs take turns on. One small seam:
// platform_posix.cpp answers it on Linux, platform_windows.cpp on Windows.
// Names are UTF-8 on both. Every call returns 0 or the errno of its
// failure (kStopped where a stop request ended a wait).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/unique_fd.h"

namespace rowsmith {

// The program's arguments, in UTF-8, with its standard streams made ready
// to carry bytes as they are (Windows would turn LF into CR LF otherwise).
std::vector<std::string> StartProgram(int argc, char** argv);
// Whether anything is at path.
bool PathExists(const std::string& path);

struct FileInfo {
    bool regular = false;      // a regular file, whose size and place mean something
    std::uint64_t size = 0;    // its size in bytes, for a regular file
    std::uint64_t volume = 0;  // which file it is: two descriptors of one file
    std::uint64_t index = 0;   // have the same volume and index
};

int Inspect(int fd, FileInfo& info);
// Whether a and b are one file (through links or other names too).
bool SameFile(const FileInfo& a, const FileInfo& b);

// A new descriptor that reads the file fd has open, from its start, whatever
// fd was opened for (an output opened for appending, say).
int ReopenForReading(int fd, UniqueFd& reader);

// Reads up to size bytes at offset, without moving fd's place; got is how
// many, fewer only at the end of the file.
int ReadAt(int fd, char* buffer, std::size_t size, std::uint64_t offset, std::size_t& got);
// Cuts the file fd writes to at size bytes.
int CutFile(int fd, std::uint64_t size);
// Waits until what was written to fd's file is on the disk.
int SyncToDisk(int fd);
// Removes the file at path; 0 also when there was none.
int RemoveFile(const char* path);
// Where fd reads or writes next; moves it there.
int PlaceOf(int fd, std::uint64_t& place);
int MoveTo(int fd, std::uint64_t place);
// Whether fd writes at the end of its file, wherever that is.
bool WritesAtEnd(int fd);

// Runs writing to one file take turns: a lock on the whole file, which
// each process holds on its own, so that runs sharing one inherited
// descriptor take turns too. While another run holds it, Take tries again
// every few milliseconds until a stop is requested (kStopped). A file that
// takes no lock (some network file systems) is written without one.
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();
    int Take(int fd);

private:
    int fd_ = -1;
};

// A descriptor that takes any bytes written to it and keeps none.
int OpenNowhere(UniqueFd& nowhere);
// A file in memory, read and written as a regular file: a run's output
// that only the program looks at.
int OpenMemoryFile(UniqueFd& file);
// Opens path for reading only when it is a regular file, never waiting for
// one that is not (a FIFO, a device): kNotRegularFile for those.
int OpenRegularFile(const char* path, UniqueFd& file, FileInfo& info);

// Whether fd is an open descriptor: one closed before the program started
// would be handed to the first file opened, and mistaken for it.
bool IsOpen(int fd);
// Whether fd is a terminal, and whether a and b are the same one.
bool IsTerminal(int fd);
bool SameTerminal(int a, int b);

}  // namespace rowsmith
