#pragma once

// Where --rejects puts the records a run sets aside: each record's bytes as
// it was read, a line each, in one file, and beside it (FILE.log) the
// input, line and reason of each, as "INPUT:LINE: reason". Both are written
// anew by each run that converts.

#include <cstdint>
#include <string>
#include <string_view>

#include "io/unique_fd.h"

namespace rowsmith {

class RejectsFile {
public:
    // The log beside path.
    static std::string LogPath(const std::string& path) { return path + ".log"; }

    // Opens path and its log, both empty. Each call returns 0 or the errno
    // of a failure, and failedFile() then names the file it failed on.
    int Open(const std::string& path, const std::string& inputName);
    // The input the records set aside from now on come from.
    void ReadingFrom(const std::string& inputName) { inputName_ = inputName; }
    // A record set aside: its bytes and the line they start on, and why.
    int Add(std::string_view bytes, std::uint64_t line, std::string_view reason);
    // Writes out what is held.
    int Flush();
    const std::string& path() const { return path_; }
    const std::string& failedFile() const { return failed_; }
    int dataFd() const { return data_.get(); }

private:
    static constexpr std::size_t kHeld = std::size_t{64} << 10;

    std::string path_;
    std::string inputName_;
    UniqueFd data_;
    UniqueFd log_;
    std::string dataHeld_;
    std::string logHeld_;
    std::string failed_;  // the file a write failed on
};

}  // namespace rowsmith
