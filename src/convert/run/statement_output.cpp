#include "convert/run/statement_output.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "io/byte_source.h"
#include "io/file_system.h"
#include "io/write_all.h"

namespace rowsmith {

namespace {

constexpr std::size_t kNoStatementEnd = std::string::npos;

}  // namespace

StatementOutput::StatementOutput(int fd, std::size_t blockSize) : fd_(fd), statementEnd_(kNoStatementEnd) {
    for (Block& block : blocks_) {
        block.bytes.reset(new char[blockSize + kCopyAlignment]);
        block.capacity = blockSize + kCopyAlignment;
    }
    append_ = WritesAtEnd(fd_);
    FileInfo info;
    std::uint64_t at = 0;
    if (Inspect(fd_, info) == 0 && info.regular && (append_ ? (at = info.size, true) : PlaceOf(fd_, at) == 0)) {
        canCut_ = true;
        start_ = writtenEnd_ = wholeEnd_ = fileEnd_ = static_cast<std::int64_t>(at);
    }
    StartBlock();
}

StatementOutput::StatementOutput(InMemory /*unused*/, std::size_t blockSize)
    : fd_(-1), inMemory_(true), statementEnd_(kNoStatementEnd) {
    blocks_[0].bytes.reset(new char[blockSize + kCopyAlignment]);
    blocks_[0].capacity = blockSize + kCopyAlignment;
    used_ = origin_ = 0;
}

void StatementOutput::Take(Bytes& bytes) {
    Block& block = blocks_[0];
    std::swap(block.bytes, bytes.data);
    std::swap(block.capacity, bytes.capacity);
    bytes.begin = origin_;
    bytes.end = used_;
    used_ = origin_ = 0;
    if (!block.bytes) {
        block.capacity = bytes.capacity;
        block.bytes.reset(new char[block.capacity]);
    }
}

int StatementOutput::Pass(Bytes& bytes) {
    if (bytes.end == bytes.begin) return error_;
    // What is buffered goes first; the writer is then free for these bytes.
    if (WriteFilledBlock() != 0 || AwaitWrite() != 0) return error_;
    std::swap(passed_, bytes);
    bytes.begin = bytes.end = 0;
    char* base = passed_.data.get();
    const std::size_t size = passed_.end - passed_.begin;
    // Into a file, moved to where the kernel copies them fastest.
    std::size_t origin = CopyOrigin(static_cast<std::uint64_t>(start_) + handedOver_, base);
    if (!canCut_ || origin + size > passed_.capacity) origin = passed_.begin;
    const std::size_t begin = passed_.begin;
    passed_.begin = origin;
    const auto write = [this, base, begin, origin, size] {
        if (begin != origin) std::memmove(base + origin, base + begin, size);
        written_ = WriteBlock(base + origin, size, size);
    };
    handedOver_ += size;
    StartBlock();
    // The kernel's copying into a file is worth the writer's thread; a
    // write into a pipe or a device costs less than waking it.
    if (canCut_) {
        writer_.Start(write);
        return 0;
    }
    write();
    return AwaitWrite();
}

void StatementOutput::StartBlock() {
    // Each block's bytes begin where the kernel copies them fastest.
    const auto at = static_cast<std::uint64_t>(start_) + handedOver_;
    used_ = origin_ = CopyOrigin(at, blocks_[filling_].bytes.get());
    statementEnd_ = kNoStatementEnd;
}

StatementOutput::~StatementOutput() {
    AwaitWrite();
}

int StatementOutput::Reserve(std::size_t size, char*& at) {
    if (error_ != 0) return error_;
    // In memory a block keeps room to move its bytes to where the kernel
    // copies them fastest, once their place in the file is known (Pass).
    if (inMemory_ && blocks_[0].capacity - used_ < size + kCopyAlignment) {
        // In memory the buffer grows: its statements stay until taken.
        Block& block = blocks_[0];
        const std::size_t capacity = std::max(2 * block.capacity, used_ + size + kCopyAlignment);
        std::unique_ptr<char[]> larger(new char[capacity]);
        std::memcpy(larger.get(), block.bytes.get(), used_);
        block.bytes = std::move(larger);
        block.capacity = capacity;
    } else if (blocks_[filling_].capacity - used_ < size) {
        if (WriteFilledBlock() != 0) return error_;
        Block& block = blocks_[filling_];
        if (block.capacity < size + kCopyAlignment) {  // a statement longer than a block
            block.bytes.reset(new char[size + kCopyAlignment]);
            block.capacity = size + kCopyAlignment;
            StartBlock();
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
    if (inMemory_) return 0;
    if (error_ == 0 && WriteFilledBlock() == 0) AwaitWrite();
    return error_;
}

int StatementOutput::WriteFilledBlock() {
    if (AwaitWrite() != 0) return error_;
    if (used_ == origin_) return 0;
    const char* data = blocks_[filling_].bytes.get() + origin_;
    const std::size_t size = used_ - origin_;
    const std::size_t statementEnd = statementEnd_ == kNoStatementEnd ? kNoStatementEnd : statementEnd_ - origin_;
    writer_.Start([this, data, size, statementEnd] { written_ = WriteBlock(data, size, statementEnd); });
    handedOver_ += size;
    filling_ = 1 - filling_;
    StartBlock();
    return 0;
}

int StatementOutput::AwaitWrite() {
    writer_.Wait();
    if (written_ != 0 && error_ == 0) error_ = written_;
    return error_;
}

int StatementOutput::WriteBlock(const char* data, std::size_t size, std::size_t statementEnd) {
    std::size_t written = 0;
    if (const int error = WriteAll(fd_, data, size, &written)) {
        if (statementEnd != kNoStatementEnd && written >= statementEnd) {
            wholeEnd_ = writtenEnd_ + static_cast<std::int64_t>(statementEnd);
        }
        fileEnd_ = writtenEnd_ + static_cast<std::int64_t>(written);
        CutBack(fileEnd_);
        return error;
    }
    if (statementEnd != kNoStatementEnd) wholeEnd_ = writtenEnd_ + static_cast<std::int64_t>(statementEnd);
    if (hash_ != nullptr) hash_->Add(data, size);
    writtenEnd_ += static_cast<std::int64_t>(size);
    fileEnd_ = writtenEnd_;
    return 0;
}

void StatementOutput::CutBack(std::int64_t ourEnd) {
    if (ourEnd == wholeEnd_) return;  // nothing after the last whole statement
    // Only while the file ends where our own bytes end: then whatever follows
    // the last whole statement is ours.
    if (!canCut_ || !EndsAt(ourEnd) || CutFile(fd_, static_cast<std::uint64_t>(wholeEnd_)) != 0) {
        endUncertain_ = true;
        return;
    }
    fileEnd_ = wholeEnd_;
    if (!append_) MoveTo(fd_, static_cast<std::uint64_t>(wholeEnd_));
}

bool StatementOutput::EndsAt(std::int64_t end) const {
    FileInfo info;
    return Inspect(fd_, info) == 0 && static_cast<std::int64_t>(info.size) == end;
}

bool StatementOutput::Undo() {
    AwaitWrite();
    used_ = origin_;  // what was never handed over stays unwritten
    if (!canCut_ || !EndsAt(fileEnd_) || CutFile(fd_, static_cast<std::uint64_t>(start_)) != 0) {
        return false;
    }
    fileEnd_ = writtenEnd_ = wholeEnd_ = start_;
    if (!append_) MoveTo(fd_, static_cast<std::uint64_t>(start_));
    return true;
}

}  // namespace rowsmith
