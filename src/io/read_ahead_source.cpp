#include "io/read_ahead_source.h"

#include <algorithm>
#include <cstring>

namespace rowsmith {

ReadAheadSource::ReadAheadSource(ByteSource& inner) : inner_(inner) {
    for (auto& block : blocks_) block.reset(new char[kBlockSize]);
}

ReadAheadSource::~ReadAheadSource() {
    reader_.Wait();
}

// Fills the whole block where the source has the bytes: an inflater hands
// out what one piece of its input gives, and a block of a few bytes would
// leave the two threads taking turns instead of working side by side. An
// error after some bytes waits for the next block, so the bytes go first.
ReadAheadSource::Filled ReadAheadSource::Fill(char* block) {
    Filled filled;
    while (heldError_ == 0 && filled.size < kBlockSize) {
        std::size_t got = 0;
        heldError_ = inner_.Read(block + filled.size, kBlockSize - filled.size, got);
        filled.size += got;
        if (got == 0) break;
    }
    if (filled.size == 0) filled.error = heldError_;
    filled.fromFile = inner_.bytesFromFile();
    return filled;
}

void ReadAheadSource::StartNext() {
    char* block = blocks_[1 - current_].get();
    started_ = true;
    reader_.Start([this, block] { next_ = Fill(block); });
}

int ReadAheadSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    if (used_ == size_) {
        if (error_ != 0) return error_;
        if (ended_) return 0;
        if (!started_) StartNext();  // the first call
        reader_.Wait();
        const Filled filled = next_;
        current_ = 1 - current_;
        used_ = 0;
        size_ = filled.size;
        fromFile_ = filled.fromFile;
        if (filled.error != 0) return error_ = filled.error;
        if (filled.size == 0) {
            ended_ = true;
            return 0;
        }
        StartNext();
    }
    got = std::min(size, size_ - used_);
    std::memcpy(buffer, blocks_[current_].get() + used_, got);
    used_ += got;
    return 0;
}

}  // namespace rowsmith
