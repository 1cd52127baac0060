#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "convert/statement_format.h"

namespace rowsmith {

// Where a run's statements go: a file descriptor written in large blocks.
// Blocks always end between statements, so when a write fails the file can
// be cut back to the last whole statement.
class StatementOutput {
public:
    static constexpr std::size_t kDefaultBlockSize = std::size_t{1} << 20;

    explicit StatementOutput(int fd, std::size_t blockSize = kDefaultBlockSize);
    StatementOutput(const StatementOutput&) = delete;
    StatementOutput& operator=(const StatementOutput&) = delete;
    ~StatementOutput();

    // Adds the statement for one input line, written straight into the
    // buffer; writes the buffer out when it is full. False once a write
    // has failed.
    bool AppendStatement(const StatementFormat& format, std::string_view line);

    // Writes out whatever is buffered. False if this or an earlier write failed.
    bool Flush();

    // The errno of the first failed write, or 0.
    int error() const { return error_; }

private:
    bool WriteBuffered();

    int fd_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    std::int64_t wholeSize_ = -1;  // file size after the last whole block, -1 if not a file
    int error_ = 0;
};

}  // namespace rowsmith
