#include "convert/statement_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include "io/write_all.h"

namespace rowsmith {

StatementOutput::StatementOutput(int fd, std::size_t blockSize) : fd_(fd) {
    for (Block& block : blocks_) {
        block.bytes.reset(new char[blockSize]);
        block.capacity = blockSize;
    }
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) wholeSize_ = info.st_size;
}

StatementOutput::~StatementOutput() {
    AwaitWrite();
}

int StatementOutput::AppendStatement(const StatementFormat& format, std::string_view line) {
    if (error_ != 0) return error_;
    const std::size_t needed = format.MaxRowSize(line.size());
    if (blocks_[filling_].capacity - used_ < needed) {
        if (WriteFilledBlock() != 0) return error_;
        Block& block = blocks_[filling_];
        if (block.capacity < needed) {  // a line longer than a block
            block.bytes.reset(new char[needed]);
            block.capacity = needed;
        }
    }
    char* end = format.WriteRow(line, blocks_[filling_].bytes.get() + used_);
    used_ = static_cast<std::size_t>(end - blocks_[filling_].bytes.get());
    return 0;
}

int StatementOutput::Flush() {
    if (error_ == 0 && WriteFilledBlock() == 0) AwaitWrite();
    return error_;
}

int StatementOutput::WriteFilledBlock() {
    if (AwaitWrite() != 0) return error_;
    if (used_ == 0) return 0;
    writing_ = std::async(std::launch::async, &StatementOutput::WriteBlock, this, blocks_[filling_].bytes.get(), used_);
    filling_ = 1 - filling_;
    used_ = 0;
    return 0;
}

int StatementOutput::AwaitWrite() {
    if (writing_.valid()) {
        const int error = writing_.get();
        if (error != 0 && error_ == 0) error_ = error;
    }
    return error_;
}

int StatementOutput::WriteBlock(const char* data, std::size_t size) {
    if (const int error = WriteAll(fd_, data, size)) {
        // Cut off the part of the block that did get written, so the file
        // ends with a whole statement.
        if (wholeSize_ >= 0 && ::ftruncate(fd_, wholeSize_) != 0) wholeSize_ = -1;
        return error;
    }
    if (wholeSize_ >= 0) wholeSize_ += static_cast<std::int64_t>(size);
    return 0;
}

}  // namespace rowsmith
