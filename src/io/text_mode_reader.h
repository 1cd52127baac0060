#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "io/byte_order_mark.h"
#include "io/byte_source.h"
#include "io/status.h"

namespace rowsmith {

// Reads a file descriptor as text-mode lines, in large blocks:
// - a CR LF pair reads as one LF, a CR on its own reads as itself;
// - the first 0x1A byte ends the input;
// - read from a descriptor, a UTF-8 byte-order mark at the very start is
//   skipped (a run's input source skips it for the other constructor).
// Memory use is one block plus the longest line.
class TextModeReader {
public:
    static constexpr std::size_t kDefaultBlockSize = std::size_t{1} << 20;
    static constexpr std::size_t kPadding = 64;
    // A longer line is an error (kLineTooLong), not a reason to take all memory.
    static constexpr std::size_t kMaxLineSize = std::size_t{64} << 20;

    explicit TextModeReader(ByteSource& source, std::size_t blockSize = kDefaultBlockSize);
    explicit TextModeReader(int fd, std::size_t blockSize = kDefaultBlockSize);
    TextModeReader(const TextModeReader&) = delete;
    TextModeReader& operator=(const TextModeReader&) = delete;
    ~TextModeReader();

    // Sets line to the next line with its LF (the last line of the input
    // may lack one) and returns 0; the view stays valid until the next call,
    // and kPadding readable bytes follow it. At the end of the input returns
    // kEndOfInput; after a failed read, its errno, then and on every call;
    // kLineTooLong for a line longer than kMaxLineSize.
    int NextLine(std::string_view& line);
    // Bytes taken from the file so far, before any translation.
    std::uint64_t bytesConsumed() const { return source_->bytesFromFile(); }
    // How many reads have brought bytes: cheap to ask after every line.
    std::uint64_t reads() const { return reads_; }

    // The bytes read but not handed out yet; more: whether the source may
    // hold more after them (false once it ended, or a 0x1A ended it). For a
    // reader that another takes over from, which reads the rest itself.
    std::string_view Unread(bool& more) const {
        more = !inputEnded_ && error_ == 0;
        return {buffer_.get() + lineStart_, end_ - lineStart_};
    }
    // Starts over on what the source gives from now on, as a new reader
    // would but with the buffer it has: one reader for many pieces of input.
    void Restart();
    // Whether a 0x1A byte ended the input before its end.
    bool endedAtMark() const { return endedAtMark_; }

private:
    // Looks for the next line feeds, 64 bytes at a time, with a kind of
    // the run's (byte_blocks.h).
    template <typename Kind>
    void FindLineFeeds(const char* base);
    // Reads more bytes after the buffered ones. False when nothing came.
    bool Fill();
    // Reads into [at, buffer end) once; marks the end.
    std::size_t ReadSome(char* at);

    std::unique_ptr<FdSource> fdSource_;  // when made for a descriptor
    std::unique_ptr<Utf8MarkSkipper> markSkipper_;
    ByteSource* source_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t lineStart_ = 0;    // first byte not yet handed out
    std::size_t scanned_ = 0;      // bytes before this are looked at for line feeds
    std::size_t window_ = 0;       // where the bytes lineFeeds_ stands for begin
    std::uint64_t lineFeeds_ = 0;  // a bit for each line feed not handed out yet
    std::size_t end_ = 0;          // end of the bytes read so far
    std::uint64_t reads_ = 0;
    std::uint64_t fromSource_ = 0;  // bytes read from the source
    bool inputEnded_ = false;
    bool endedAtMark_ = false;
    int error_ = 0;
};

}  // namespace rowsmith
