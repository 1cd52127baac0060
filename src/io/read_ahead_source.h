#pragma once

#include <memory>

#include "io/byte_source.h"
#include "io/worker.h"

namespace rowsmith {

// Reads the next block of another source on a thread of its own, for the
// whole run, while the caller works through the block before, so that
// decompressing overlaps with converting. Where no thread can be started,
// it reads on the caller's.
class ReadAheadSource : public ByteSource {
public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

    explicit ReadAheadSource(ByteSource& inner);
    ~ReadAheadSource() override;
    ReadAheadSource(const ReadAheadSource&) = delete;
    ReadAheadSource& operator=(const ReadAheadSource&) = delete;

    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return fromFile_; }
    std::string Describe(int error) const override { return inner_.Describe(error); }

private:
    struct Filled {
        int error = 0;
        std::size_t size = 0;
        std::uint64_t fromFile = 0;
    };

    Filled Fill(char* block);
    void StartNext();

    ByteSource& inner_;
    std::unique_ptr<char[]> blocks_[2];
    int current_ = 0;       // the block Read hands out
    std::size_t used_ = 0;  // bytes of it handed out
    std::size_t size_ = 0;  // bytes in it
    bool started_ = false;  // the other block is being filled
    bool ended_ = false;
    int error_ = 0;
    std::uint64_t fromFile_ = 0;
    int heldError_ = 0;  // met after bytes the reader has not had yet
    Filled next_;        // what filling the other block gave
    Worker reader_;      // last: its thread ends before the blocks go
};

}  // namespace rowsmith
