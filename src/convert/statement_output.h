#pragma once

#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <string_view>

#include "convert/statement_format.h"

namespace rowsmith {

// Where a run's statements go: a file descriptor written in large blocks.
// While one block is being written, the next one fills, so converting and
// writing overlap. Blocks always end between statements, so when a write
// fails the file can be cut back to the last whole statement.
class StatementOutput {
public:
    static constexpr std::size_t kDefaultBlockSize = std::size_t{1} << 20;

    explicit StatementOutput(int fd, std::size_t blockSize = kDefaultBlockSize);
    StatementOutput(const StatementOutput&) = delete;
    StatementOutput& operator=(const StatementOutput&) = delete;
    ~StatementOutput();

    // Adds the statement for one input line, written straight into the
    // buffer; hands the buffer over for writing when it is full. Returns 0,
    // or the errno of the first failed write, once one has failed.
    int AppendStatement(const StatementFormat& format, std::string_view line);

    // Writes out whatever is buffered and waits for every write to end.
    // Returns 0, or the errno of the first failed write.
    int Flush();

private:
    struct Block {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
    };

    // Starts writing the filled block and switches to the other one.
    int WriteFilledBlock();
    // Waits for the block being written; the errno of the first failed write.
    int AwaitWrite();
    // Writes size bytes of data; 0 or the errno of the failure.
    int WriteBlock(const char* data, std::size_t size);

    int fd_;
    Block blocks_[2];
    int filling_ = 0;  // the block statements go into
    std::size_t used_ = 0;
    std::future<int> writing_;     // the write of the other block, if any
    std::int64_t wholeSize_ = -1;  // file size after the last whole block, -1 if not a file
    int error_ = 0;
};

}  // namespace rowsmith
