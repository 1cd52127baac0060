#include "io/text_mode_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <unistd.h>

namespace rowsmith {

namespace {

constexpr char kEndOfText = 0x1A;

}  // namespace

TextModeReader::TextModeReader(ByteSource& source, std::size_t blockSize)
    : source_(&source), capacity_(blockSize < 16 ? 16 : blockSize), buffer_(new char[capacity_ + kPadding]()) {}

TextModeReader::TextModeReader(int fd, std::size_t blockSize)
    : fdSource_(std::make_unique<FdSource>(fd)),
      markSkipper_(std::make_unique<Utf8MarkSkipper>(*fdSource_)),
      source_(markSkipper_.get()),
      capacity_(blockSize < 16 ? 16 : blockSize),
      buffer_(new char[capacity_ + kPadding]()) {}

TextModeReader::~TextModeReader() = default;

int TextModeReader::NextLine(std::string_view& line) {
    for (;;) {
        char* base = buffer_.get();
        const std::size_t unsearched = end_ - searchFrom_;
        if (void* found = std::memchr(base + searchFrom_, '\n', unsearched)) {
            char* lf = static_cast<char*>(found);
            const std::size_t next = static_cast<std::size_t>(lf - base) + 1;
            // CR LF reads as LF: the line ends one byte earlier, with the LF
            // written over the CR.
            if (lf > base + lineStart_ && lf[-1] == '\r') *--lf = '\n';
            line = std::string_view(base + lineStart_, static_cast<std::size_t>(lf + 1 - (base + lineStart_)));
            lineStart_ = searchFrom_ = next;
            return 0;
        }
        searchFrom_ = end_;
        if (!Fill()) {
            if (error_ != 0) return error_;
            if (lineStart_ == end_) return kEndOfInput;
            // The input ended without a line feed: what is left is a line.
            line = std::string_view(buffer_.get() + lineStart_, end_ - lineStart_);
            lineStart_ = searchFrom_ = end_;
            return 0;
        }
    }
}

bool TextModeReader::Fill() {
    if (inputEnded_) return false;
    // Move the unfinished line to the front; grow when it fills the buffer.
    char* base = buffer_.get();
    if (lineStart_ > 0) {
        std::memmove(base, base + lineStart_, end_ - lineStart_);
        searchFrom_ -= lineStart_;
        end_ -= lineStart_;
        lineStart_ = 0;
    }
    if (end_ == capacity_) {
        if (capacity_ >= kMaxLineSize) {
            error_ = kLineTooLong;
            return false;
        }
        const std::size_t capacity = std::min(capacity_ * 2, kMaxLineSize);
        std::unique_ptr<char[]> larger(new char[capacity + kPadding]());
        std::memcpy(larger.get(), base, end_);
        buffer_ = std::move(larger);
        capacity_ = capacity;
        base = buffer_.get();
    }

    const std::size_t readFrom = end_;
    end_ += ReadSome(base + end_);
    if (error_ != 0) return false;
    if (const void* eot = std::memchr(base + readFrom, kEndOfText, end_ - readFrom)) {
        end_ = static_cast<std::size_t>(static_cast<const char*>(eot) - base);
        inputEnded_ = true;
    }
    return end_ != readFrom;
}

std::size_t TextModeReader::ReadSome(char* at) {
    std::size_t n = 0;
    error_ = source_->Read(at, capacity_ - static_cast<std::size_t>(at - buffer_.get()), n);
    if (n == 0) inputEnded_ = true;
    reads_ += n > 0;
    return n;
}

}  // namespace rowsmith
