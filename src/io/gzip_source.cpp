#include "io/gzip_source.h"

#include <cerrno>

#include <zlib.h>

#include "io/status.h"

namespace rowsmith {

struct GzipSource::Stream {
    z_stream z{};
};

bool StartsLikeGzip(const char* bytes, std::size_t size) {
    return size >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F && static_cast<unsigned char>(bytes[1]) == 0x8B;
}

GzipSource::GzipSource(ByteSource& compressed)
    : compressed_(compressed), stream_(std::make_unique<Stream>()), input_(new char[kBlockSize]) {
    // 16 + 15: a gzip wrapper, the largest window.
    if (inflateInit2(&stream_->z, 16 + MAX_WBITS) != Z_OK) reason_ = "zlib cannot start";
}

GzipSource::~GzipSource() {
    inflateEnd(&stream_->z);
}

int GzipSource::Read(char* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    if (!reason_.empty()) return kDamagedGzip;
    z_stream& z = stream_->z;
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = static_cast<uInt>(size);
    while (z.avail_out == size) {
        if (z.avail_in == 0 && !inputEnded_) {
            std::size_t n = 0;
            if (const int error = compressed_.Read(input_.get(), kBlockSize, n)) return error;
            inputEnded_ = n == 0;
            z.next_in = reinterpret_cast<Bytef*>(input_.get());
            z.avail_in = static_cast<uInt>(n);
        }
        if (memberEnded_) {
            if (z.avail_in == 0) return 0;  // the end, after a whole member
            memberEnded_ = false;
            inflateReset(&z);  // another member follows
        }
        if (z.avail_in == 0) {
            reason_ = "the compressed data ends early";
            return kDamagedGzip;
        }
        const int status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            memberEnded_ = true;
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            reason_ = z.msg ? z.msg : "damaged compressed data";
            return kDamagedGzip;
        }
    }
    got = size - z.avail_out;
    return 0;
}

std::string GzipSource::Describe(int error) const {
    if (error == kDamagedGzip && !reason_.empty()) return "damaged gzip data: " + reason_;
    return ByteSource::Describe(error);
}

}  // namespace rowsmith
