#pragma once

#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>

namespace rowsmith {

// Where a run's statements go: a file descriptor written in large blocks.
// While one block is being written, the next one fills, so converting and
// writing overlap. The output remembers where its last whole statement
// ended, so when a write fails the file can be cut back to it.
class StatementOutput {
public:
    static constexpr std::size_t kDefaultBlockSize = std::size_t{1} << 20;

    explicit StatementOutput(int fd, std::size_t blockSize = kDefaultBlockSize);
    StatementOutput(const StatementOutput&) = delete;
    StatementOutput& operator=(const StatementOutput&) = delete;
    ~StatementOutput();

    // Sets at to room for size bytes after what is buffered, handing the
    // buffer over for writing first when it has too little. Returns 0, or the
    // errno of the first failed write, once one has failed.
    int Reserve(std::size_t size, char*& at);
    // The bytes up to end, in the room Reserve gave, are output; the last
    // whole statement among them ends at statementEnd (null: none ends there).
    void Commit(char* end, const char* statementEnd);

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
    // Writes size bytes of data, of which the first statementEnd (or none,
    // when it is npos) end a whole statement; 0 or the errno of the failure.
    int WriteBlock(const char* data, std::size_t size, std::size_t statementEnd);

    int fd_;
    Block blocks_[2];
    int filling_ = 0;  // the block statements go into
    std::size_t used_ = 0;
    std::size_t statementEnd_;       // in the filling block: where its last whole statement ends, or npos
    std::future<int> writing_;       // the write of the other block, if any
    std::int64_t writtenSize_ = -1;  // file size after the blocks written, -1 if not a regular file
    std::int64_t wholeSize_ = -1;    // file size after the last whole statement written
    int error_ = 0;
};

}  // namespace rowsmith
