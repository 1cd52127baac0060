#include "io/byte_order_mark.h"

#include <algorithm>
#include <cstring>

namespace rowsmith {

namespace {

struct KnownMark {
    ByteOrderMark mark;
    std::string_view bytes;
    std::string_view encoding;
};

// The four-byte marks first: UTF-32LE's starts like UTF-16LE's.
constexpr KnownMark kMarks[] = {
    {ByteOrderMark::Utf32Le, std::string_view("\xFF\xFE\0\0", 4), "UTF-32LE"},
    {ByteOrderMark::Utf32Be, std::string_view("\0\0\xFE\xFF", 4), "UTF-32BE"},
    {ByteOrderMark::Utf8, "\xEF\xBB\xBF", "UTF-8"},
    {ByteOrderMark::Utf16Le, "\xFF\xFE", "UTF-16LE"},
    {ByteOrderMark::Utf16Be, "\xFE\xFF", "UTF-16BE"},
};

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

}  // namespace

FoundMark FindByteOrderMark(std::string_view start) {
    for (const KnownMark& known : kMarks) {
        if (start.substr(0, known.bytes.size()) == known.bytes) return {known.mark, known.bytes.size()};
    }
    return {};
}

std::string_view EncodingOfMark(ByteOrderMark mark) {
    for (const KnownMark& known : kMarks) {
        if (known.mark == mark) return known.encoding;
    }
    return {};
}

int Utf8MarkSkipper::Read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    if (!looked_) {
        // Bytes may come one at a time (a pipe): read while they may still
        // be the start of a mark.
        looked_ = true;
        while (startSize_ < kUtf8Mark.size() &&
               kUtf8Mark.substr(0, startSize_) == std::string_view(start_, startSize_)) {
            std::size_t n = 0;
            if (const int error = inner_.Read(start_ + startSize_, kUtf8Mark.size() - startSize_, n)) return error;
            if (n == 0) break;
            startSize_ += n;
        }
        if (std::string_view(start_, startSize_) == kUtf8Mark) startSize_ = 0;
    }
    if (given_ < startSize_) {
        got = std::min(size, startSize_ - given_);
        std::memcpy(buffer, start_ + given_, got);
        given_ += got;
        return 0;
    }
    return inner_.Read(buffer, size, got);
}

}  // namespace rowsmith
