#include "io/iconv_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <iconv.h>

#include "io/status.h"

namespace rowsmith {

namespace {

iconv_t Descriptor(void* descriptor) {
    return static_cast<iconv_t>(descriptor);
}

iconv_t OpenDecoder(const std::string& encoding) {
    return ::iconv_open("UTF-8", encoding.c_str());
}

// iconv_open's answer for a character set it does not know.
bool Failed(iconv_t descriptor) {
    return descriptor == reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr): iconv's own sentinel
}

}  // namespace

bool EncodingKnown(const std::string& encoding) {
    const iconv_t descriptor = OpenDecoder(encoding);
    if (Failed(descriptor)) return false;
    ::iconv_close(descriptor);
    return true;
}

std::string UnknownEncodingText(const std::string& encoding) {
    return "the character set \"" + encoding + "\" is not known";
}

int IconvSource::Open(ByteSource& encoded, const std::string& encoding, std::unique_ptr<IconvSource>& source) {
    const iconv_t descriptor = OpenDecoder(encoding);
    if (Failed(descriptor)) return kUnknownEncoding;
    source.reset(new IconvSource(encoded, encoding, descriptor));
    return 0;
}

IconvSource::IconvSource(ByteSource& encoded, std::string encoding, void* descriptor)
    : encoded_(encoded), encoding_(std::move(encoding)), descriptor_(descriptor), input_(new char[kBlockSize]) {}

IconvSource::~IconvSource() {
    ::iconv_close(Descriptor(descriptor_));
}

int IconvSource::Refill() {
    // Keep an unfinished sequence and read more after it.
    std::memmove(input_.get(), input_.get() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
    if (inputEnded_) return 0;
    std::size_t n = 0;
    if (const int error = encoded_.Read(input_.get() + end_, kBlockSize - end_, n)) return error;
    inputEnded_ = n == 0;
    end_ += n;
    return 0;
}

int IconvSource::Decode(char* buffer, std::size_t size, std::size_t& got) {
    char* in = input_.get() + start_;
    std::size_t inLeft = end_ - start_;
    char* out = buffer;
    std::size_t outLeft = size;
    const std::size_t result = ::iconv(Descriptor(descriptor_), &in, &inLeft, &out, &outLeft);
    const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
    got = size - outLeft;
    lines_ += static_cast<std::uint64_t>(std::count(buffer, out, '\n'));
    start_ = end_ - inLeft;
    // An unfinished sequence is an error only once nothing can follow it.
    if (error == EILSEQ || (error == EINVAL && inputEnded_)) return got > 0 ? 0 : kInvalidText;
    return 0;
}

int IconvSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    // Less room than a character may take: decode into a few bytes of our
    // own and hand them out as room comes.
    if (pendingSize_ == pendingGiven_ && size < sizeof pending_) {
        pendingGiven_ = 0;
        if (const int error = Read(pending_, sizeof pending_, pendingSize_)) return error;
    }
    if (pendingGiven_ < pendingSize_) {
        got = std::min(size, pendingSize_ - pendingGiven_);
        std::memcpy(buffer, pending_ + pendingGiven_, got);
        pendingGiven_ += got;
        return 0;
    }
    while (got == 0) {
        if (start_ == end_ || (!inputEnded_ && end_ - start_ < 16)) {
            if (const int error = Refill()) return error;
        }
        if (start_ == end_) return 0;  // the end
        if (const int error = Decode(buffer, size, got)) return error;
    }
    return 0;
}

std::string IconvSource::Describe(int error) const {
    if (error == kInvalidText) return "line " + std::to_string(lines_) + " is not valid " + encoding_ + " text";
    return ByteSource::Describe(error);
}

}  // namespace rowsmith
