#include "convert/text_mode_reader.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include <unistd.h>

namespace rowsmith {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char kEndOfText = 0x1A;

}  // namespace

TextModeReader::TextModeReader(int fd, std::size_t blockSize)
    : fd_(fd), capacity_(blockSize < 16 ? 16 : blockSize), buffer_(new char[capacity_]) {}

TextModeReader::~TextModeReader() = default;

bool TextModeReader::NextLine(std::string_view& line) {
    for (;;) {
        char* base = buffer_.get();
        const std::size_t unsearched = translatedEnd_ - searchFrom_;
        if (const void* lf = std::memchr(base + searchFrom_, '\n', unsearched)) {
            const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(lf) - base) + 1;
            line = std::string_view(base + lineStart_, end - lineStart_);
            lineStart_ = searchFrom_ = end;
            return true;
        }
        searchFrom_ = translatedEnd_;
        if (!Fill()) {
            if (error_ != 0 || lineStart_ == translatedEnd_) return false;
            // The input ended without a line feed: what is left is a line.
            line = std::string_view(buffer_.get() + lineStart_, translatedEnd_ - lineStart_);
            lineStart_ = searchFrom_ = translatedEnd_;
            return true;
        }
    }
}

bool TextModeReader::Fill() {
    if (inputEnded_) {
        // A CR held back at the end of the last block stands for itself.
        if (rawEnd_ == translatedEnd_) return false;
        translatedEnd_ = rawEnd_;
        return true;
    }
    // Move the unfinished line to the front; grow when it fills the buffer.
    char* base = buffer_.get();
    if (lineStart_ > 0) {
        std::memmove(base, base + lineStart_, rawEnd_ - lineStart_);
        translatedEnd_ -= lineStart_;
        searchFrom_ -= lineStart_;
        rawEnd_ -= lineStart_;
        lineStart_ = 0;
    }
    if (rawEnd_ == capacity_) {
        std::unique_ptr<char[]> larger(new char[capacity_ * 2]);
        std::memcpy(larger.get(), base, rawEnd_);
        buffer_ = std::move(larger);
        capacity_ *= 2;
        base = buffer_.get();
    }

    const std::size_t readFrom = rawEnd_;
    rawEnd_ += ReadSome(base + rawEnd_);
    // Wait for three bytes before deciding whether the input opens with a
    // byte-order mark.
    while (atStart_ && !inputEnded_ && rawEnd_ < kByteOrderMark.size() &&
           kByteOrderMark.substr(0, rawEnd_) == std::string_view(base, rawEnd_)) {
        rawEnd_ += ReadSome(base + rawEnd_);
    }
    if (error_ != 0) return false;
    if (const void* eot = std::memchr(base + readFrom, kEndOfText, rawEnd_ - readFrom)) {
        rawEnd_ = static_cast<std::size_t>(static_cast<const char*>(eot) - base);
        inputEnded_ = true;
    }
    if (atStart_) {
        atStart_ = false;
        if (std::string_view(base, rawEnd_).substr(0, 3) == kByteOrderMark) {
            lineStart_ = searchFrom_ = translatedEnd_ = kByteOrderMark.size();
        }
    }
    if (rawEnd_ == readFrom) return Fill();  // nothing new: the input ended
    Translate();
    return true;
}

std::size_t TextModeReader::ReadSome(char* at) {
    for (;;) {
        const ssize_t n = ::read(fd_, at, capacity_ - static_cast<std::size_t>(at - buffer_.get()));
        if (n > 0) {
            consumed_ += static_cast<std::uint64_t>(n);
            return static_cast<std::size_t>(n);
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error_ = errno;
        inputEnded_ = true;
        return 0;
    }
}

void TextModeReader::Translate() {
    char* const base = buffer_.get();
    char* write = base + translatedEnd_;
    const char* read = write;
    const char* const end = base + rawEnd_;
    while (read < end) {
        const void* found = std::memchr(read, '\r', static_cast<std::size_t>(end - read));
        const char* cr = found ? static_cast<const char*>(found) : end;
        if (write != read) std::memmove(write, read, static_cast<std::size_t>(cr - read));
        write += cr - read;
        read = cr;
        if (cr == end) break;
        if (cr + 1 == end && !inputEnded_) break;  // the next block decides
        if (cr + 1 < end && cr[1] == '\n') {
            *write++ = '\n';
            read = cr + 2;
        } else {
            *write++ = '\r';
            read = cr + 1;
        }
    }
    const std::size_t held = static_cast<std::size_t>(end - read);
    if (held != 0) std::memmove(write, read, held);
    translatedEnd_ = static_cast<std::size_t>(write - base);
    rawEnd_ = translatedEnd_ + held;
}

}  // namespace rowsmith
