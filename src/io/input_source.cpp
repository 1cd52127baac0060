#include "io/input_source.h"

#include <algorithm>
#include <cstring>

#include "io/gzip_source.h"
#include "io/iconv_source.h"
#include "io/read_ahead_source.h"

namespace rowsmith {

InputSource::InputSource(ByteSource& file) : file_(file), peeked_(file_), top_(&peeked_) {}

InputSource::~InputSource() = default;

int InputSource::Open(const std::string& encoding) {
    while (peeked_.startSize < sizeof peeked_.start) {
        std::size_t n = 0;
        const int error = file_.Read(peeked_.start + peeked_.startSize, sizeof peeked_.start - peeked_.startSize, n);
        if (error != 0) return error;
        if (n == 0) break;
        peeked_.startSize += n;
    }
    if (StartsLikeGzip(peeked_.start, peeked_.startSize)) {
        gzip_ = std::make_unique<GzipSource>(peeked_);
        ahead_ = std::make_unique<ReadAheadSource>(*gzip_);
        top_ = ahead_.get();
    }
    if (!encoding.empty()) {
        if (const int error = IconvSource::Open(*top_, encoding, iconv_)) return error;
        top_ = iconv_.get();
    }
    markSkipper_ = std::make_unique<Utf8MarkSkipper>(*top_);
    top_ = markSkipper_.get();
    return 0;
}

int InputSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    return top_->Read(buffer, size, got);
}

int InputSource::Peeked::Read(char* buffer, std::size_t size, std::size_t& got) {
    if (given_ < startSize) {
        got = std::min(size, startSize - given_);
        std::memcpy(buffer, start + given_, got);
        given_ += got;
        return 0;
    }
    return file_.Read(buffer, size, got);
}

}  // namespace rowsmith
