#pragma once

// Bytes handed out in pieces, as pipes and filters hand them out: each read
// gives at most as many bytes as nextPiece says. For tests and fuzz targets
// that read through every block boundary.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>

#include "io/byte_source.h"

namespace rowsmith::test {

class PiecesSource : public ByteSource {
public:
    PiecesSource(std::string_view bytes, std::function<std::size_t()> nextPiece)
        : bytes_(bytes), nextPiece_(std::move(nextPiece)) {}
    int Read(char* buffer, std::size_t size, std::size_t& got) override {
        got = std::min({size, std::max<std::size_t>(nextPiece_(), 1), bytes_.size() - at_});
        std::memcpy(buffer, bytes_.data() + at_, got);
        at_ += got;
        return 0;
    }
    std::uint64_t bytesFromFile() const override { return at_; }

private:
    std::string_view bytes_;
    std::function<std::size_t()> nextPiece_;
    std::size_t at_ = 0;
};

}  // namespace rowsmith::test
