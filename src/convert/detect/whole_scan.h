#pragma once

// What the bytes of a regular file past its sample say of its quoting and
// character set: a detection that looked only at a file's start would miss
// the first quote at byte 280,000 or the only é at row 6,000. Files up to
// kScanBound are scanned whole, at about a gigabyte a second.

#include <cstdint>
#include <string>

namespace rowsmith {

struct ScanEvidence {
    static constexpr std::uint64_t kScanBound = std::uint64_t{2} << 30;
    static constexpr std::size_t kLinesKept = std::size_t{64} << 10;

    bool scanned = false;          // every byte past the sample was looked at
    std::uint64_t firstQuote = 0;  // where the first double quote past the sample is, in the file; 0: none
    bool nonAscii = false;         // bytes past ASCII were seen
    bool utf8 = true;              // every line holding them is valid UTF-8
    std::string lines;             // lines holding them, at most kLinesKept bytes of them
};

// Scans the bytes of fd from offset from to size; 0 or the errno of a
// failed read. threads: a large file is cut where lines end into as many
// ranges, scanned at once, with what one scan finds.
int ScanRest(int fd, std::uint64_t from, std::uint64_t size, ScanEvidence& evidence, unsigned threads = 1);

}  // namespace rowsmith
