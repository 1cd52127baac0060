#include "io/iconv_source.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include <iconv.h>

#include "io/byte_blocks.h"
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

struct IconvSource::Table {
    struct Character {
        char bytes[4];      // its UTF-8, padded
        std::uint8_t size;  // 0: the byte is not valid in the set
    };
    Character characters[256];
    bool asciiSame = true;  // bytes below 0x80 stay as they are

    // The table of the set iconv decodes with descriptor, or null when a
    // character of it takes more than one byte or depends on the bytes
    // around it: every byte is decoded alone, then every pair of valid
    // bytes at once, and the pairs must read as their bytes do alone.
    // The descriptor is left in its first state, whatever the probes did.
    static std::unique_ptr<Table> Build(iconv_t descriptor) {
        std::unique_ptr<Table> table = Probe(descriptor);
        ::iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
        return table;
    }
    static std::unique_ptr<Table> Probe(iconv_t descriptor);
};

std::unique_ptr<IconvSource::Table> IconvSource::Table::Probe(iconv_t descriptor) {
    auto table = std::make_unique<Table>();
    std::string valid;
    for (int b = 0; b < 256; ++b) {
        char in[1] = {static_cast<char>(b)};
        Character& character = table->characters[b];
        char* inAt = in;
        std::size_t inLeft = 1;
        char* out = character.bytes;
        std::size_t outLeft = sizeof character.bytes;
        ::iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
        const std::size_t result = ::iconv(descriptor, &inAt, &inLeft, &out, &outLeft);
        if (result == static_cast<std::size_t>(-1) && errno != EILSEQ) return nullptr;  // part of a longer one
        character.size = static_cast<std::uint8_t>(sizeof character.bytes - outLeft);
        if (result != static_cast<std::size_t>(-1) && character.size == 0) return nullptr;  // held back
        if (character.size > 3) return nullptr;  // beyond the 16-bit characters
        if (character.size > 0) valid += static_cast<char>(b);
        table->asciiSame = table->asciiSame && (b >= 0x80 || (character.size == 1 && character.bytes[0] == in[0]));
    }
    std::string pairs;
    std::string expected;
    for (const char first : valid) {
        for (const char second : valid) {
            pairs += first;
            pairs += second;
            for (const char c : {first, second}) {
                const Character& character = table->characters[static_cast<unsigned char>(c)];
                expected.append(character.bytes, character.size);
            }
        }
    }
    std::string decoded(expected.size() + 16, '\0');
    char* inAt = pairs.data();
    std::size_t inLeft = pairs.size();
    char* out = decoded.data();
    std::size_t outLeft = decoded.size();
    ::iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    const std::size_t result = ::iconv(descriptor, &inAt, &inLeft, &out, &outLeft);
    ::iconv(descriptor, nullptr, nullptr, &out, &outLeft);  // what a set with state holds back
    decoded.resize(decoded.size() - outLeft);
    if (result == static_cast<std::size_t>(-1) || decoded != expected) return nullptr;
    return table;
}

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
    : encoded_(encoded),
      encoding_(std::move(encoding)),
      descriptor_(descriptor),
      table_(Table::Build(Descriptor(descriptor))),
      input_(new char[kBlockSize + kCopyAlignment]) {}

IconvSource::~IconvSource() {
    ::iconv_close(Descriptor(descriptor_));
}

int IconvSource::Refill() {
    // Keep an unfinished sequence and read more after it.
    const std::size_t left = end_ - start_;
    const std::size_t origin = CopyOrigin(fromSource_ - left, input_.get());
    std::memmove(input_.get() + origin, input_.get() + start_, left);
    start_ = origin;
    end_ = origin + left;
    if (inputEnded_) return 0;
    std::size_t n = 0;
    if (const int error = encoded_.Read(input_.get() + end_, kBlockSize - left, n)) return error;
    inputEnded_ = n == 0;
    end_ += n;
    fromSource_ += n;
    return 0;
}

namespace {

// Copies one block of input, and says how many of its bytes, from the
// first, are ASCII: those are the same in UTF-8, and their line feeds are
// counted.
int CopyAsciiRun(const char* in, char* out, std::uint64_t& lines) {
    return blocks::WithBlocks([in, out, &lines](auto kind) {
        using Blocks = decltype(kind);
        const typename Blocks::Block block = Blocks::Load(in);
        const unsigned high = Blocks::HighBits(block);
        const int run = high == 0 ? static_cast<int>(blocks::kSize) : std::countr_zero(high);
        Blocks::Store(out, block);
        const unsigned asciiBits = (std::uint32_t{1} << run) - 1;
        if (const unsigned feeds = Blocks::Equal(block, '\n') & asciiBits; feeds != 0) {
            lines += static_cast<std::uint64_t>(std::popcount(feeds));
        }
        return run;
    });
}

}  // namespace

int IconvSource::DecodeByTable(char* buffer, std::size_t size, std::size_t& got) {
    const Table& table = *table_;
    const char* in = input_.get() + start_;
    const char* const end = input_.get() + end_;
    char* out = buffer;
    char* const outEnd = buffer + size;
    constexpr auto kRun = static_cast<std::ptrdiff_t>(blocks::kSize);
    constexpr std::ptrdiff_t kMost = 3;  // the longest character, in UTF-8
    std::uint64_t lines = 0;
    while (in < end) {
        // ASCII, as most text is, sixteen bytes at a time: up to the first
        // byte that is not, which the table decodes.
        if (table.asciiSame && end - in >= kRun && outEnd - out >= kRun) {
            const int ascii = CopyAsciiRun(in, out, lines);
            in += ascii;
            out += ascii;
            if (ascii == kRun) continue;
        }
        const Table::Character& character = table.characters[static_cast<unsigned char>(*in)];
        if (character.size == 0 && substitute_) {
            if (outEnd - out < static_cast<std::ptrdiff_t>(kSubstitute.size())) break;
            std::memcpy(out, kSubstitute.data(), kSubstitute.size());
            out += kSubstitute.size();
            ++in;
            continue;
        }
        if (character.size == 0) {
            if (out == buffer) {
                start_ = static_cast<std::size_t>(in - input_.get());
                return kInvalidText;
            }
            break;  // the text before it goes first
        }
        if (outEnd - out < static_cast<std::ptrdiff_t>(character.size)) break;
        if (outEnd - out > kMost) {
            std::memcpy(out, character.bytes, sizeof character.bytes);
        } else {
            std::memcpy(out, character.bytes, character.size);
        }
        lines += character.size == 1 && character.bytes[0] == '\n';
        out += character.size;
        ++in;
    }
    got = static_cast<std::size_t>(out - buffer);
    lines_ += lines;
    start_ = static_cast<std::size_t>(in - input_.get());
    return 0;
}

int IconvSource::Decode(char* buffer, std::size_t size, std::size_t& got) {
    if (table_) return DecodeByTable(buffer, size, got);
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
    const bool invalid = error == EILSEQ || (error == EINVAL && inputEnded_);
    // A check goes on past it: the byte becomes U+FFFD.
    if (invalid && substitute_ && outLeft >= kSubstitute.size() && start_ < end_) {
        std::memcpy(buffer + got, kSubstitute.data(), kSubstitute.size());
        got += kSubstitute.size();
        ++start_;
        return 0;
    }
    if (invalid) return got > 0 ? 0 : kInvalidText;
    return 0;
}

int IconvSource::Flush(char* buffer, std::size_t size, std::size_t& got) {
    // A set that combines characters (CP1255, CP1258) holds the last one
    // back until it knows what follows.
    if (flushed_ || table_) return 0;
    char* out = buffer;
    std::size_t outLeft = size;
    // Read gives at least the room of pending_, more than one character takes.
    if (::iconv(Descriptor(descriptor_), nullptr, nullptr, &out, &outLeft) == static_cast<std::size_t>(-1)) {
        return kInvalidText;
    }
    flushed_ = true;
    got = size - outLeft;
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
        if (start_ == end_) return Flush(buffer, size, got);  // the end
        if (const int error = Decode(buffer, size, got)) return error;
    }
    return 0;
}

std::string IconvSource::Describe(int error) const {
    if (error == kInvalidText) return "line " + std::to_string(lines_) + " is not valid " + encoding_ + " text";
    return ByteSource::Describe(error);
}

}  // namespace rowsmith
