#pragma once

// The input less its first lines (--skip-lines): a title, notes or blank
// lines above the records, which no rule set reads as records.

#include <cstdint>

#include "io/byte_source.h"

namespace rowsmith {

class SkippedLines : public ByteSource {
public:
    // lines: how many to skip; crEnds: a CR alone ends a line too (as it
    // ends a record of standard CSV); LF and CR LF always do.
    SkippedLines(ByteSource& inner, std::uint32_t lines, bool crEnds) : inner_(inner), left_(lines), crEnds_(crEnds) {}

    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return inner_.bytesFromFile(); }
    std::string Describe(int error) const override { return inner_.Describe(error); }

private:
    // Drops the lines still to skip from the bytes just read into buffer:
    // what is left of them is moved to its start.
    void Skip(char* buffer, std::size_t& got);

    ByteSource& inner_;
    std::uint32_t left_;
    const bool crEnds_;
    bool afterCr_ = false;  // the last byte skipped was a CR: an LF right after it goes with it
};

}  // namespace rowsmith
