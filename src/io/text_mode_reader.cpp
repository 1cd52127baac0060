#include "io/text_mode_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <unistd.h>

#include "io/byte_blocks.h"

namespace rowsmith {

namespace {

constexpr char kEndOfText = 0x1A;

}  // namespace

TextModeReader::TextModeReader(ByteSource& source, std::size_t blockSize)
    : source_(&source),
      capacity_(blockSize < 16 ? 16 : blockSize),
      buffer_(new char[capacity_ + kCopyAlignment + kPadding]()) {}

TextModeReader::TextModeReader(int fd, std::size_t blockSize)
    : fdSource_(std::make_unique<FdSource>(fd)),
      markSkipper_(std::make_unique<Utf8MarkSkipper>(*fdSource_)),
      source_(markSkipper_.get()),
      capacity_(blockSize < 16 ? 16 : blockSize),
      buffer_(new char[capacity_ + kCopyAlignment + kPadding]()) {}

TextModeReader::~TextModeReader() = default;

template <typename Kind>
void TextModeReader::FindLineFeeds(const char* base) {
    while (lineFeeds_ == 0 && scanned_ < end_) {
        const std::size_t left = end_ - scanned_;
        const std::uint64_t valid = left < kWide ? (std::uint64_t{1} << left) - 1 : ~std::uint64_t{0};
        const auto masks = Kind::Match(base + scanned_, std::array<char, 2>{'\n', kEndOfText});
        lineFeeds_ = masks[0] & valid;
        window_ = scanned_;
        scanned_ += std::min(left, kWide);
        if (const std::uint64_t ends = masks[1] & valid; ends != 0) {
            const int at = std::countr_zero(ends);
            lineFeeds_ &= (std::uint64_t{1} << at) - 1;
            end_ = scanned_ = window_ + static_cast<std::size_t>(at);
            inputEnded_ = endedAtMark_ = true;
        }
    }
}

int TextModeReader::NextLine(std::string_view& line) {
    for (;;) {
        char* base = buffer_.get();
        // The line feeds are found sixty-four bytes at a time, as bits, and
        // handed out one a line: a search per line costs more than a line.
        // The first 0x1A ends the input there; no read goes past a block
        // that holds one, as the reader reads only once every line feed
        // before has been handed out.
        if (lineFeeds_ == 0 && scanned_ < end_) {
            WithBaseKind([this, base](auto kind) { FindLineFeeds<decltype(kind)>(base); });
        }
        if (lineFeeds_ != 0) {
            const std::size_t at = window_ + static_cast<std::size_t>(std::countr_zero(lineFeeds_));
            lineFeeds_ &= lineFeeds_ - 1;
            char* lf = base + at;
            // CR LF reads as LF: the line ends one byte earlier, with the LF
            // written over the CR.
            if (lf > base + lineStart_ && lf[-1] == '\r') *--lf = '\n';
            line = std::string_view(base + lineStart_, static_cast<std::size_t>(lf + 1 - (base + lineStart_)));
            lineStart_ = at + 1;
            return 0;
        }
        if (!Fill()) {
            if (error_ != 0) return error_;
            if (lineStart_ == end_) return kEndOfInput;
            // The input ended without a line feed: what is left is a line.
            line = std::string_view(buffer_.get() + lineStart_, end_ - lineStart_);
            lineStart_ = scanned_ = end_;
            return 0;
        }
    }
}

void TextModeReader::Restart() {
    lineStart_ = scanned_ = window_ = end_ = 0;
    lineFeeds_ = 0;
    fromSource_ = 0;
    inputEnded_ = endedAtMark_ = false;
    error_ = 0;
}

bool TextModeReader::Fill() {
    if (inputEnded_) return false;
    // The unfinished line moves to the front, where the next read goes on
    // at the same offset into a 64-byte line as the bytes it reads have in
    // the file: the kernel copies much faster so. The buffer grows when the
    // line fills it.
    const std::size_t left = end_ - lineStart_;
    const char* from = buffer_.get() + lineStart_;
    std::unique_ptr<char[]> larger;
    if (left == capacity_) {
        if (capacity_ >= kMaxLineSize) {
            error_ = kLineTooLong;
            return false;
        }
        capacity_ = std::min(capacity_ * 2, kMaxLineSize);
        larger.reset(new char[capacity_ + kCopyAlignment + kPadding]());
    }
    char* base = larger ? larger.get() : buffer_.get();
    const std::size_t origin = CopyOrigin(fromSource_ - left, base);
    std::memmove(base + origin, from, left);
    if (larger) buffer_ = std::move(larger);
    scanned_ = scanned_ - lineStart_ + origin;
    lineStart_ = origin;
    end_ = origin + left;

    const std::size_t readFrom = end_;
    end_ += ReadSome(base + end_);
    if (error_ != 0) return false;
    return end_ != readFrom;
}

std::size_t TextModeReader::ReadSome(char* at) {
    std::size_t n = 0;
    error_ = source_->Read(at, capacity_ - (end_ - lineStart_), n);
    if (n == 0) inputEnded_ = true;
    fromSource_ += n;
    reads_ += n > 0;
    return n;
}

}  // namespace rowsmith
