#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rowsmith {

// Where a reader's bytes come from: a file, or a filter over another source
// that decompresses or decodes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes into buffer and sets got to their number, 0 at
    // the end of the input. Returns 0, or the errno of a failure.
    virtual int Read(char* buffer, std::size_t size, std::size_t& got) = 0;
    // Bytes taken from the file itself so far, before any filter: progress.
    virtual std::uint64_t bytesFromFile() const = 0;
    // The reason for an error this source returned, in words.
    virtual std::string Describe(int error) const;
};

// A file descriptor's bytes as they are.
class FdSource : public ByteSource {
public:
    explicit FdSource(int fd) : fd_(fd) {}
    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return consumed_; }

private:
    int fd_;
    std::uint64_t consumed_ = 0;
};

}  // namespace rowsmith
