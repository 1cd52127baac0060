#pragma once

// The vector primitives of the scanners, and nothing else; the scanners'
// logic stays in their own files.
//
// Sixteen-byte blocks (blocks::Plain, blocks::Sse2), for the CSV reader, the
// literal writer and the decoders: SSE2, which every x86-64 processor has,
// and plain loops that do the same.
//
// Sixty-four-byte blocks (Kinds), for the row scanners and the line
// finders: a bit mask for each of a few byte values over 64 bytes at once.
// Three kinds of the same interface: plain loops, SSE2 and AVX2.
//
// Every kind the compiler can build is built, and the one a run uses is
// chosen when it starts: the widest the processor has, or the one the
// environment variable ROWSMITH_SCAN names (plain, sse2 or avx2), so that
// the tests run each.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#define ROWSMITH_SSE2_KIND 1
#include <emmintrin.h>
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

// Plain loops: what any processor runs.
struct Plain {
    struct Block {
        char bytes[kSize];
    };
    static Block Load(const char* p) {
        Block block;
        std::memcpy(block.bytes, p, kSize);
        return block;
    }
    static void Store(char* out, const Block& block) { std::memcpy(out, block.bytes, kSize); }
    // Bit i is set when byte i of the block is c.
    static unsigned Equal(const Block& block, char c) {
        unsigned bits = 0;
        for (std::size_t i = 0; i < kSize; ++i) bits |= static_cast<unsigned>(block.bytes[i] == c) << i;
        return bits;
    }
    // Bit i is set when byte i of the block is 0x80 or above: not ASCII.
    static unsigned HighBits(const Block& block) {
        unsigned bits = 0;
        for (std::size_t i = 0; i < kSize; ++i)
            bits |= static_cast<unsigned>(static_cast<unsigned char>(block.bytes[i]) >> 7) << i;
        return bits;
    }
};

#ifdef ROWSMITH_SSE2_KIND
struct Sse2 {
    struct Block {
        __m128i bytes;
    };
    static Block Load(const char* p) { return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))}; }
    static void Store(char* out, Block block) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block.bytes); }
    static unsigned Equal(Block block, char c) {
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block.bytes, _mm_set1_epi8(c))));
    }
    static unsigned HighBits(Block block) { return static_cast<unsigned>(_mm_movemask_epi8(block.bytes)); }
};
#endif

// Bit i is set when byte i of the block is any of bytes.
template <typename Blocks, typename... Bytes>
inline unsigned EqualAny(const typename Blocks::Block& block, Bytes... bytes) {
    return (Blocks::Equal(block, bytes) | ...);
}

// Copies the block at p to out: sixteen bytes, whatever counts of them.
inline void Copy(char* out, const char* p) {
    std::memcpy(out, p, kSize);
}

// Whether a run's sixteen-byte blocks go by SSE2 (ChosenKind below).
bool Vector();

// Calls work with the blocks the run uses: work(blocks::Sse2{}) or
// work(blocks::Plain{}).
template <typename Work>
decltype(auto) WithBlocks(Work&& work) {
#ifdef ROWSMITH_SSE2_KIND
    if (Vector()) return work(Sse2{});
#endif
    return work(Plain{});
}

}  // namespace blocks

// The kinds of 64-byte scanning. Each has Match: for bytes b[0..N), the
// masks whose bit i is set where byte i of the 64 at p is b[k].
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
// The kind a run uses: the widest, or the narrower one ROWSMITH_SCAN names.
ScanKind ChosenKind();

// Calls work with the kind the line finders use, SSE2 or plain: their
// masks are few, and a wider kind gains them nothing.
template <typename Work>
decltype(auto) WithBaseKind(Work&& work) {
#ifdef ROWSMITH_SSE2_KIND
    if (ChosenKind() != ScanKind::Scalar) return work(Sse2Kind{});
#endif
    return work(ScalarKind{});
}

}  // namespace rowsmith
