#pragma once

// The vector primitives of the scanners, and nothing else; the scanners'
// logic stays in their own files.
//
// Sixteen-byte blocks (blocks::), for the CSV reader and the literal
// writer: SSE2, which every x86-64 processor has, or plain loops that do
// the same where the compiler targets no SSE2 or the build asks for them
// (ROWSMITH_SCALAR_SCAN, so that they are built and tested too).
//
// Sixty-four-byte blocks (Kinds), for the row scanners: a bit mask for each
// of a few byte values over 64 bytes at once. Three kinds of the same
// interface: plain loops, SSE2 and AVX2. The scanners are built for each,
// and the widest the processor has is chosen when a run starts; the tests
// run every kind the machine can.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#define ROWSMITH_SSE2_KIND 1
#include <emmintrin.h>
#if !defined(ROWSMITH_SCALAR_SCAN)
#define ROWSMITH_SSE2_BLOCKS 1
#endif
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#define ROWSMITH_AVX2_KIND 1
#include <immintrin.h>
// Functions built for AVX2 whatever the build targets: called only once the
// processor is known to have it.
#define ROWSMITH_AVX2_TARGET __attribute__((target("avx2,bmi,bmi2,popcnt,lzcnt")))
#endif

namespace rowsmith {

namespace blocks {

inline constexpr std::size_t kSize = 16;

#ifdef ROWSMITH_SSE2_BLOCKS

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

// Bit i is set when byte i of the block is 0x80 or above: not ASCII.
inline unsigned HighBits(Block block) {
    return static_cast<unsigned>(_mm_movemask_epi8(block.bytes));
}

#else

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

inline unsigned HighBits(const Block& block) {
    unsigned bits = 0;
    for (std::size_t i = 0; i < kSize; ++i)
        bits |= static_cast<unsigned>(static_cast<unsigned char>(block.bytes[i]) >> 7) << i;
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

}  // namespace blocks

// The kinds of 64-byte scanning. Each has Match: for bytes b[0..N), the
// masks whose bit i is set where byte i of the 64 at p is b[k]. Every kind
// the compiler can build is built, whatever ROWSMITH_SCALAR_SCAN says, so
// that the tests run each; that option makes BaseKind the plain one.
inline constexpr std::size_t kWide = 64;

enum class ScanKind { Scalar, Sse2, Avx2 };

struct ScalarKind {
    static constexpr ScanKind kKind = ScanKind::Scalar;
    template <std::size_t N>
    static std::array<std::uint64_t, N> Match(const char* p, const std::array<char, N>& bytes) {
        std::array<std::uint64_t, N> masks{};
        for (std::size_t i = 0; i < kWide; ++i) {
            for (std::size_t k = 0; k < N; ++k) masks[k] |= std::uint64_t{p[i] == bytes[k]} << i;
        }
        return masks;
    }
};

#ifdef ROWSMITH_SSE2_KIND
struct Sse2Kind {
    static constexpr ScanKind kKind = ScanKind::Sse2;
    template <std::size_t N>
    static std::array<std::uint64_t, N> Match(const char* p, const std::array<char, N>& bytes) {
        __m128i parts[4];
        for (std::size_t q = 0; q < 4; ++q) parts[q] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * q));
        std::array<std::uint64_t, N> masks{};
        for (std::size_t k = 0; k < N; ++k) {
            const __m128i wanted = _mm_set1_epi8(bytes[k]);
            for (std::size_t q = 0; q < 4; ++q) {
                const auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(parts[q], wanted)));
                masks[k] |= std::uint64_t{bits} << (16 * q);
            }
        }
        return masks;
    }
};
#endif

#ifdef ROWSMITH_AVX2_KIND
struct Avx2Kind {
    static constexpr ScanKind kKind = ScanKind::Avx2;
    template <std::size_t N>
    ROWSMITH_AVX2_TARGET static std::array<std::uint64_t, N> Match(const char* p, const std::array<char, N>& bytes) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        std::array<std::uint64_t, N> masks{};
        for (std::size_t k = 0; k < N; ++k) {
            const __m256i wanted = _mm256_set1_epi8(bytes[k]);
            const auto lowBits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted)));
            const auto highBits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted)));
            masks[k] = std::uint64_t{lowBits} | std::uint64_t{highBits} << 32;
        }
        return masks;
    }
};
#endif

// Bit i of the result is the exclusive or of bits 0 to i of bits: where a
// mask of quotes has them, whether byte i is inside a quoted part.
constexpr std::uint64_t PrefixXor(std::uint64_t bits) {
    for (int shift = 1; shift < 64; shift *= 2) bits ^= bits << shift;
    return bits;
}

// Whether this build has the kind and the processor can run it; the widest
// that can; its name, for people.
bool KindRuns(ScanKind kind);
ScanKind WidestKind();
const char* KindName(ScanKind kind);

// The kind every processor the build targets has.
#ifdef ROWSMITH_SSE2_BLOCKS
using BaseKind = Sse2Kind;
#else
using BaseKind = ScalarKind;
#endif

}  // namespace rowsmith
