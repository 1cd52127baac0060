#pragma once

// Byte-order marks: the few bytes some programs put at the start of a text
// file to say how it is encoded.

#include <cstddef>
#include <string_view>

#include "io/byte_source.h"

namespace rowsmith {

enum class ByteOrderMark { None, Utf8, Utf16Le, Utf16Be, Utf32Le, Utf32Be };

struct FoundMark {
    ByteOrderMark mark = ByteOrderMark::None;
    std::size_t length = 0;
};

// The mark that start begins with. Four bytes, or all there are, tell.
FoundMark FindByteOrderMark(std::string_view start);

// The encoding a mark stands for, as iconv names it; empty for None.
std::string_view EncodingOfMark(ByteOrderMark mark);

// Another source's bytes without a UTF-8 byte-order mark at their start.
class Utf8MarkSkipper : public ByteSource {
public:
    explicit Utf8MarkSkipper(ByteSource& inner) : inner_(inner) {}
    int Read(char* buffer, std::size_t size, std::size_t& got) override;
    std::uint64_t bytesFromFile() const override { return inner_.bytesFromFile(); }
    std::string Describe(int error) const override { return inner_.Describe(error); }

private:
    ByteSource& inner_;
    char start_[3] = {};
    std::size_t startSize_ = 0;  // bytes in start_ still to hand out
    std::size_t given_ = 0;
    bool looked_ = false;
};

}  // namespace rowsmith
