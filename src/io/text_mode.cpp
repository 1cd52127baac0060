#include "io/text_mode.h"

#include <cstdint>
#include <cstring>

namespace rowsmith {

std::string ToDiskText(std::string_view text) {
    std::string disk;
    disk.reserve(text.size());
    for (char c : text) {
        if (c == '\n') disk += '\r';
        disk += c;
    }
    return disk;
}

namespace {

std::size_t Utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

// At the start of a cache line: where the linker put it otherwise, its
// loop ran up to a fifth slower from one build to the next.
[[gnu::aligned(64)]] bool IsUtf8(std::string_view bytes, bool cut) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    for (std::size_t at = 0; at < bytes.size();) {
        // Text is mostly ASCII: eight bytes of it at a time.
        std::uint64_t word = 0;
        if (at + 8 <= bytes.size() && (std::memcpy(&word, bytes.data() + at, 8), word & kHighBits) == 0) {
            at += 8;
            continue;
        }
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = Utf8Length(lead);
        if (length == 0) return false;
        if (at + length > bytes.size()) return cut;
        for (std::size_t i = 1; i < length; ++i) {
            if ((static_cast<unsigned char>(bytes[at + i]) & 0xC0) != 0x80) return false;
        }
        // No overlong three- and four-byte forms, no surrogates, nothing past U+10FFFF.
        const auto second = static_cast<unsigned char>(length > 1 ? bytes[at + 1] : 0);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
            (lead == 0xF4 && second >= 0x90))
            return false;
        at += length;
    }
    return true;
}

}  // namespace rowsmith
