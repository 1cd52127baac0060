#pragma once

#include <memory>
#include <string>

#include "io/byte_source.h"

namespace rowsmith {

// The inflaters a build can have: ISA-L's, several times faster, where the
// build found it, and zlib's everywhere.
enum class Inflater { Isal, Zlib };

// Whether this build has the inflater, and the one it uses unless told.
bool HasInflater(Inflater inflater);
Inflater DefaultInflater();

// Decompresses a gzip stream read from another source; several members one
// after another read as one stream, as gzip itself reads them. Damaged data,
// or data that ends early, is kDamagedGzip, described in the same words
// whichever inflater reads it.
class GzipSource : public ByteSource {
public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 18;

    explicit GzipSource(ByteSource& compressed, Inflater inflater = DefaultInflater());
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return compressed_.bytesFromFile(); }
    std::string Describe(int error) const override;

    // One inflater's state; gzip_source.cpp has one for each.
    class Stream;

private:
    ByteSource& compressed_;
    std::unique_ptr<Stream> stream_;
    std::unique_ptr<char[]> input_;
    bool inputEnded_ = false;
    std::uint64_t fromSource_ = 0;  // bytes read from the source
    bool memberEnded_ = false;      // the last member ended; more may follow
    std::string reason_;            // what is wrong with the data
};

// True when bytes open a gzip stream.
bool StartsLikeGzip(const char* bytes, std::size_t size);

}  // namespace rowsmith
