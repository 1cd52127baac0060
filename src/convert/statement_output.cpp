#include "convert/statement_output.h"

#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "io/write_all.h"

namespace rowsmith {

namespace {

constexpr std::size_t kNoStatementEnd = std::string::npos;

}  // namespace

StatementOutput::StatementOutput(int fd, std::size_t blockSize) : fd_(fd), statementEnd_(kNoStatementEnd) {
    for (Block& block : blocks_) {
        block.bytes.reset(new char[blockSize]);
        block.capacity = blockSize;
    }
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) writtenSize_ = wholeSize_ = info.st_size;
}

StatementOutput::~StatementOutput() {
    AwaitWrite();
}

int StatementOutput::Reserve(std::size_t size, char*& at) {
    if (error_ != 0) return error_;
    if (blocks_[filling_].capacity - used_ < size) {
        if (WriteFilledBlock() != 0) return error_;
        Block& block = blocks_[filling_];
        if (block.capacity < size) {  // a statement longer than a block
            block.bytes.reset(new char[size]);
            block.capacity = size;
        }
    }
    at = blocks_[filling_].bytes.get() + used_;
    return 0;
}

void StatementOutput::Commit(char* end, const char* statementEnd) {
    const char* base = blocks_[filling_].bytes.get();
    used_ = static_cast<std::size_t>(end - base);
    if (statementEnd) statementEnd_ = static_cast<std::size_t>(statementEnd - base);
}

int StatementOutput::Flush() {
    if (error_ == 0 && WriteFilledBlock() == 0) AwaitWrite();
    return error_;
}

int StatementOutput::WriteFilledBlock() {
    if (AwaitWrite() != 0) return error_;
    if (used_ == 0) return 0;
    writing_ = std::async(std::launch::async, &StatementOutput::WriteBlock, this, blocks_[filling_].bytes.get(), used_,
                          statementEnd_);
    filling_ = 1 - filling_;
    used_ = 0;
    statementEnd_ = kNoStatementEnd;
    return 0;
}

int StatementOutput::AwaitWrite() {
    if (writing_.valid()) {
        const int error = writing_.get();
        if (error != 0 && error_ == 0) error_ = error;
    }
    return error_;
}

int StatementOutput::WriteBlock(const char* data, std::size_t size, std::size_t statementEnd) {
    if (const int error = WriteAll(fd_, data, size)) {
        // Cut off what did get written after the last whole statement, so
        // the file ends with a whole statement.
        if (wholeSize_ >= 0 && ::ftruncate(fd_, wholeSize_) != 0) wholeSize_ = -1;
        return error;
    }
    if (writtenSize_ >= 0) {
        if (statementEnd != kNoStatementEnd) wholeSize_ = writtenSize_ + static_cast<std::int64_t>(statementEnd);
        writtenSize_ += static_cast<std::int64_t>(size);
    }
    return 0;
}

}  // namespace rowsmith
