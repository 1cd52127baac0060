#pragma once

// The vector primitives of the scanners, and nothing else: a block of
// sixteen bytes, which of its bytes equal a given one, and a copy of a whole
// block. SSE2 where the compiler targets it; plain loops that do the same
// where it does not, or when the build asks for them (ROWSMITH_SCALAR_SCAN),
// so that the fallback is built and tested too. The scanners' logic stays
// in their own files.

#include <cstddef>
#include <cstring>

#if defined(__SSE2__) && !defined(ROWSMITH_SCALAR_SCAN)
#define ROWSMITH_SSE2_BLOCKS 1
#include <emmintrin.h>
#endif

namespace rowsmith::blocks {

inline constexpr std::size_t kSize = 16;

#ifdef ROWSMITH_SSE2_BLOCKS

inline constexpr const char* kKind = "SSE2";

struct Block {
    __m128i bytes;
};

inline Block Load(const char* p) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))};
}

inline void Store(char* out, Block block) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block.bytes);
}

// Bit i is set when byte i of the block is c.
inline unsigned Equal(Block block, char c) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block.bytes, _mm_set1_epi8(c))));
}

#else

inline constexpr const char* kKind = "scalar";

struct Block {
    char bytes[kSize];
};

inline Block Load(const char* p) {
    Block block;
    std::memcpy(block.bytes, p, kSize);
    return block;
}

inline void Store(char* out, const Block& block) {
    std::memcpy(out, block.bytes, kSize);
}

inline unsigned Equal(const Block& block, char c) {
    unsigned bits = 0;
    for (std::size_t i = 0; i < kSize; ++i) bits |= static_cast<unsigned>(block.bytes[i] == c) << i;
    return bits;
}

#endif

// Bit i is set when byte i of the block is any of bytes.
template <typename... Bytes>
inline unsigned EqualAny(const Block& block, Bytes... bytes) {
    return (Equal(block, bytes) | ...);
}

// Copies the block at p to out: sixteen bytes, whatever counts of them.
inline void Copy(char* out, const char* p) {
    std::memcpy(out, p, kSize);
}

}  // namespace rowsmith::blocks
