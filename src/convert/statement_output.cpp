#include "convert/statement_output.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace rowsmith {

StatementOutput::StatementOutput(int fd, std::size_t blockSize)
    : fd_(fd), capacity_(blockSize), buffer_(new char[capacity_]) {
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) wholeSize_ = info.st_size;
}

StatementOutput::~StatementOutput() = default;

bool StatementOutput::AppendStatement(const StatementFormat& format, std::string_view line) {
    if (error_ != 0) return false;
    const std::size_t needed = format.MaxRowSize(line.size());
    if (capacity_ - used_ < needed) {
        if (!WriteBuffered()) return false;
        if (capacity_ < needed) {  // a line longer than a block
            buffer_.reset(new char[needed]);
            capacity_ = needed;
        }
    }
    char* end = format.WriteRow(line, buffer_.get() + used_);
    used_ = static_cast<std::size_t>(end - buffer_.get());
    return true;
}

bool StatementOutput::Flush() {
    return error_ == 0 && WriteBuffered();
}

bool StatementOutput::WriteBuffered() {
    const char* p = buffer_.get();
    std::size_t left = used_;
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            // Cut off the part of the block that did get written, so the
            // file ends with a whole statement.
            if (wholeSize_ >= 0 && ::ftruncate(fd_, wholeSize_) != 0) wholeSize_ = -1;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (wholeSize_ >= 0) wholeSize_ += static_cast<std::int64_t>(used_);
    used_ = 0;
    return true;
}

}  // namespace rowsmith
