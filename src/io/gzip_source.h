#pragma once

#include <memory>
#include <string>

#include "io/byte_source.h"

namespace rowsmith {

// Decompresses a gzip stream read from another source; several members one
// after another read as one stream, as gzip itself reads them. Damaged data,
// or data that ends early, is kDamagedGzip, described with zlib's reason.
class GzipSource : public ByteSource {
public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 18;

    explicit GzipSource(ByteSource& compressed);
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return compressed_.bytesFromFile(); }
    std::string Describe(int error) const override;

private:
    struct Stream;

    ByteSource& compressed_;
    std::unique_ptr<Stream> stream_;
    std::unique_ptr<char[]> input_;
    bool inputEnded_ = false;
    bool memberEnded_ = false;  // the last member ended; more may follow
    std::string reason_;        // zlib's words for the damage
};

// True when bytes open a gzip stream.
bool StartsLikeGzip(const char* bytes, std::size_t size);

}  // namespace rowsmith
