#include "convert/detect/whole_scan.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_system.h"
#include "io/text_mode.h"
#include "io/worker.h"

namespace rowsmith {

namespace {

// The first byte past ASCII in text from at, eight bytes at a time; npos for none.
std::size_t FindNonAscii(std::string_view text, std::size_t at) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, 8);
        if ((word & kHighBits) != 0) break;
    }
    for (; at < text.size(); ++at) {
        if (static_cast<unsigned char>(text[at]) >= 0x80) return at;
    }
    return std::string_view::npos;
}

// Looks at whole lines (cut: the last may end inside a character) that
// begin at offset in the file.
void LookAt(std::string_view text, std::uint64_t offset, bool cut, ScanEvidence& evidence) {
    if (evidence.firstQuote == 0) {
        if (const void* quote = std::memchr(text.data(), '"', text.size()); quote != nullptr)
            evidence.firstQuote = offset + static_cast<std::uint64_t>(static_cast<const char*>(quote) - text.data());
    }
    // Once a line is not UTF-8 and enough lines are kept, nothing more is learnt.
    for (std::size_t at = FindNonAscii(text, 0); at != std::string_view::npos;) {
        if (evidence.lines.size() >= ScanEvidence::kLinesKept) {
            // Enough lines kept: all that is left to learn is whether the
            // text stays UTF-8, looked at all at once (at starts a character).
            if (!evidence.utf8) return;
            evidence.nonAscii = true;
            evidence.utf8 = IsUtf8(text.substr(at), cut);
            return;
        }
        const std::size_t start = text.rfind('\n', at) == std::string_view::npos ? 0 : text.rfind('\n', at) + 1;
        std::size_t end = text.find('\n', at);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line = text.substr(start, end - start);
        evidence.nonAscii = true;
        evidence.utf8 = evidence.utf8 && IsUtf8(line, cut && end == text.size());
        if (evidence.lines.size() < ScanEvidence::kLinesKept) evidence.lines.append(line);
        at = FindNonAscii(text, end);
    }
}

// One range, from the start of a line.
int ScanRange(int fd, std::uint64_t from, std::uint64_t size, ScanEvidence& evidence) {
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    std::vector<char> block(kBlock);
    std::string carry;  // the line cut at the end of the last block
    std::uint64_t carryAt = from;
    for (std::uint64_t at = from; at < size;) {
        std::size_t got = 0;
        if (const int error = ReadAt(fd, block.data(), block.size(), at, got)) return error;
        if (got == 0) break;
        std::string_view text(block.data(), got);
        // The cut line, whole, then the block's whole lines; its last line waits.
        const std::size_t firstEnd = text.find('\n');
        if (!carry.empty() && firstEnd != std::string_view::npos) {
            carry.append(text.substr(0, firstEnd + 1));
            LookAt(carry, carryAt, false, evidence);
            carry.clear();
            text.remove_prefix(firstEnd + 1);
        }
        const std::uint64_t textAt = at + (got - text.size());
        const std::size_t lastEnd = carry.empty() ? text.rfind('\n') : std::string_view::npos;
        if (lastEnd != std::string_view::npos) {
            LookAt(text.substr(0, lastEnd + 1), textAt, false, evidence);
            text.remove_prefix(lastEnd + 1);
        }
        if (carry.empty()) carryAt = at + (got - text.size());
        carry.append(text);
        // A line longer than a block is looked at in pieces, each ending
        // where a character begins.
        if (carry.size() > kBlock) {
            std::size_t keep = carry.size();
            while (keep > carry.size() - 4 && (static_cast<unsigned char>(carry[keep - 1]) & 0xC0) == 0x80) --keep;
            if (static_cast<unsigned char>(carry[keep - 1]) < 0xC0)
                keep = carry.size();
            else
                --keep;  // a character's first byte: it goes on in the next piece
            LookAt(std::string_view(carry).substr(0, keep), carryAt, false, evidence);
            carryAt += keep;
            carry.erase(0, keep);
        }
        at += got;
    }
    LookAt(carry, carryAt, true, evidence);
    evidence.scanned = true;
    return 0;
}

// Where the first line that starts at or after at starts, before size;
// size where none does within a few blocks (a line too long to cut at).
std::uint64_t LineStartFrom(int fd, std::uint64_t at, std::uint64_t size) {
    constexpr std::size_t kLook = std::size_t{64} << 10;
    std::vector<char> block(kLook);
    for (int tries = 0; tries < 16 && at < size; ++tries) {
        std::size_t got = 0;
        if (ReadAt(fd, block.data(), block.size(), at, got) != 0 || got == 0) return size;
        if (const void* lf = std::memchr(block.data(), '\n', got); lf != nullptr)
            return std::min(size, at + static_cast<std::uint64_t>(static_cast<const char*>(lf) - block.data()) + 1);
        at += got;
    }
    return size;
}

// Adds what a later range found to what the ones before it did, as one
// scan of both would have found it: its lines kept while room is left.
void AddRange(ScanEvidence& evidence, const ScanEvidence& later) {
    if (evidence.firstQuote == 0) evidence.firstQuote = later.firstQuote;
    evidence.nonAscii = evidence.nonAscii || later.nonAscii;
    evidence.utf8 = evidence.utf8 && later.utf8;
    for (std::size_t at = 0; at < later.lines.size() && evidence.lines.size() < ScanEvidence::kLinesKept;) {
        std::size_t end = later.lines.find('\n', at);
        end = end == std::string::npos ? later.lines.size() : end + 1;
        evidence.lines.append(later.lines, at, end - at);
        at = end;
    }
}

}  // namespace

int ScanRest(int fd, std::uint64_t from, std::uint64_t size, ScanEvidence& evidence, unsigned threads) {
    // Below this, threads gain less than they cost.
    constexpr std::uint64_t kCutAbove = std::uint64_t{64} << 20;
    if (threads <= 1 || size <= from || size - from < kCutAbove) return ScanRange(fd, from, size, evidence);
    std::vector<std::uint64_t> starts{from};
    for (unsigned i = 1; i < threads; ++i) {
        const std::uint64_t start = LineStartFrom(fd, from + (size - from) / threads * i, size);
        if (start > starts.back() && start < size) starts.push_back(start);
    }
    starts.push_back(size);
    const std::size_t ranges = starts.size() - 1;
    std::vector<ScanEvidence> found(ranges);
    std::vector<int> errors(ranges, 0);
    {
        // Each worker scans its range while this thread scans the first; a
        // worker that could start no thread scans it here, at once.
        std::vector<Worker> scans(ranges - 1);
        for (std::size_t i = 1; i < ranges; ++i) {
            scans[i - 1].Start([&, i] { errors[i] = ScanRange(fd, starts[i], starts[i + 1], found[i]); });
        }
        errors[0] = ScanRange(fd, starts[0], starts[1], found[0]);
    }  // the workers end here, their scans with them
    for (std::size_t i = 0; i < ranges; ++i) {
        if (errors[i] != 0) return errors[i];
        AddRange(evidence, found[i]);
    }
    evidence.scanned = true;
    return 0;
}

}  // namespace rowsmith
