#include "io/input_source.h"

#include <string_view>

#include "io/gzip_source.h"
#include "io/iconv_source.h"
#include "io/read_ahead_source.h"

namespace rowsmith {

namespace {

// Whether more bytes could make start the start of gzip data.
bool MayBeGzip(std::string_view start) {
    return start.size() < 2;
}

// Whether more bytes could make start a longer byte-order mark than it is.
bool MayBeLongerMark(std::string_view start) {
    constexpr std::string_view kLongest[] = {std::string_view("\xFF\xFE\0\0", 4), std::string_view("\0\0\xFE\xFF", 4),
                                             "\xEF\xBB\xBF"};
    for (const std::string_view mark : kLongest) {
        if (start.size() < mark.size() && mark.substr(0, start.size()) == start) return true;
    }
    return false;
}

}  // namespace

InputSource::InputSource(ByteSource& file) : file_(file), peeked_(file_), top_(&peeked_) {}

InputSource::~InputSource() = default;

int InputSource::Open(const std::string& encoding) {
    if (const int error = peeked_.Peek(2, MayBeGzip)) return error;
    if (StartsLikeGzip(peeked_.start().data(), peeked_.start().size())) {
        gzip_ = std::make_unique<GzipSource>(peeked_);
        ahead_ = std::make_unique<ReadAheadSource>(*gzip_);
        top_ = ahead_.get();
    }
    encoding_ = encoding;
    if (encoding_.empty()) {
        // Text that says it is UTF-16 or UTF-32 is read so, as an export of
        // "Unicode text" means; a UTF-8 mark is left for the skipper below.
        decoded_ = std::make_unique<PeekingSource>(*top_);
        top_ = decoded_.get();
        if (const int error = decoded_->Peek(PeekingSource::kMostPeeked, MayBeLongerMark)) return error;
        const ByteOrderMark mark = FindByteOrderMark(decoded_->start()).mark;
        if (mark != ByteOrderMark::Utf8) encoding_ = EncodingOfMark(mark);
    }
    if (!encoding_.empty()) {
        if (const int error = IconvSource::Open(*top_, encoding_, iconv_)) return error;
        if (substitute_) iconv_->SubstituteInvalid();
        top_ = iconv_.get();
    }
    markSkipper_ = std::make_unique<Utf8MarkSkipper>(*top_);
    top_ = markSkipper_.get();
    return 0;
}

int InputSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    return top_->Read(buffer, size, got);
}

}  // namespace rowsmith
