#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "io/sha256.h"
#include "io/worker.h"

namespace rowsmith {

// Where a run's statements go: a file descriptor written in large blocks.
// While one block is being written, the next one fills, so converting and
// writing overlap: one thread writes, for the whole run (the caller's own
// when no other can be started).
// The output remembers where its last whole statement ended, so when a
// write fails the file can be cut back to it: but only while the file ends
// exactly where this output's own bytes end, so that nothing another
// program wrote is ever cut away.
class StatementOutput {
public:
    static constexpr std::size_t kDefaultBlockSize = std::size_t{1} << 20;

    // Statements held in memory: the bytes in [begin, end) of data.
    struct Bytes {
        std::unique_ptr<char[]> data;
        std::size_t capacity = 0;
        std::size_t begin = 0;
        std::size_t end = 0;
    };

    explicit StatementOutput(int fd, std::size_t blockSize = kDefaultBlockSize);
    // An output that keeps its statements in memory, in a buffer that grows
    // as they come, until Take hands them out: a part of a run written apart.
    struct InMemory {};
    StatementOutput(InMemory, std::size_t blockSize);
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

    // In memory: hands out the statements so far in bytes, and goes on in
    // the buffer bytes held before (one an earlier Take gave, or none).
    void Take(Bytes& bytes);
    // Writes bytes, statements whose last one ends where they end, after
    // what is buffered, from where they stand: no copy. bytes gets back the
    // buffer passed before, written by now, to fill again. Returns 0, or
    // the errno of the first failed write.
    int Pass(Bytes& bytes);

    // Every byte written from now on goes into hash too (on the writing thread).
    void HashInto(Sha256* hash) { hash_ = hash; }
    // The bytes this output has written to its file so far.
    std::uint64_t bytesWritten() const { return static_cast<std::uint64_t>(writtenEnd_ - start_); }

    // After a failed write: true when the file could not be cut back to its
    // last whole statement (another program wrote to it too, or it cannot
    // be cut), so that its end may hold part of a statement.
    bool endUncertain() const { return endUncertain_; }

    // Takes everything this output wrote out of the file again, once its
    // writes are over: for a run whose statements stand or fall together.
    // Only while the file ends where this output's bytes end; false when
    // it does not, or the file cannot be cut (a pipe, say).
    bool Undo();

private:
    struct Block {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
    };

    // Starts writing the filled block and switches to the other one.
    int WriteFilledBlock();
    // Makes the filling block empty, its bytes to begin at origin_.
    void StartBlock();
    // Waits for the block being written; the errno of the first failed write.
    int AwaitWrite();
    // Writes size bytes of data, of which the first statementEnd (or none,
    // when it is npos) end a whole statement; 0 or the errno of the failure.
    int WriteBlock(const char* data, std::size_t size, std::size_t statementEnd);
    // Cuts the file back to the last whole statement, after a failed write
    // that left our bytes ending at ourEnd.
    void CutBack(std::int64_t ourEnd);
    // Whether the file ends at end: then what comes before is ours to cut.
    bool EndsAt(std::int64_t end) const;

    int fd_;
    bool inMemory_ = false;
    Bytes passed_;         // the bytes Pass handed to the writer last
    bool canCut_ = false;  // a regular file, written at a known place
    bool append_ = false;  // opened for appending: every write goes to the end
    Block blocks_[2];
    int filling_ = 0;               // the block statements go into
    std::size_t origin_ = 0;        // where the filling block's bytes begin
    std::size_t used_ = 0;          // where they end
    std::uint64_t handedOver_ = 0;  // bytes handed to the writer
    std::size_t statementEnd_;      // in the filling block: where its last whole statement ends, or npos
    std::int64_t start_ = 0;        // where this output's bytes begin in the file
    std::int64_t writtenEnd_ = 0;   // where the blocks written end in the file
    std::int64_t wholeEnd_ = 0;     // where the last whole statement written ends
    std::int64_t fileEnd_ = 0;      // where this output's bytes end in the file now
    bool endUncertain_ = false;
    int error_ = 0;
    int written_ = 0;  // what the last write handed to the writer returned
    Sha256* hash_ = nullptr;
    Worker writer_;  // last: its thread ends before the blocks go
};

}  // namespace rowsmith
