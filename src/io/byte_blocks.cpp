#include "io/byte_blocks.h"

#include <cstdlib>
#include <string_view>

namespace rowsmith {

bool KindRuns(ScanKind kind) {
#ifdef ROWSMITH_SSE2_KIND
    constexpr bool kSse2Built = true;
#else
    constexpr bool kSse2Built = false;
#endif
#ifdef ROWSMITH_AVX2_KIND
    constexpr bool kAvx2Built = true;
#else
    constexpr bool kAvx2Built = false;
#endif
    switch (kind) {
        case ScanKind::Scalar:
            return true;
        case ScanKind::Sse2:
            return kSse2Built;
        case ScanKind::Avx2:
            return kAvx2Built && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
                   __builtin_cpu_supports("popcnt");
    }
    return false;
}

ScanKind ChosenKind() {
    static const ScanKind chosen = [] {
        const char* named = std::getenv("ROWSMITH_SCAN");
        const std::string_view name = named != nullptr ? named : "";
        for (const ScanKind kind : {ScanKind::Scalar, ScanKind::Sse2, ScanKind::Avx2}) {
            const bool asked = (kind == ScanKind::Scalar && name == "plain") ||
                               (kind == ScanKind::Sse2 && name == "sse2") || (kind == ScanKind::Avx2 && name == "avx2");
            if (asked && KindRuns(kind)) return kind;
        }
        return WidestKind();
    }();
    return chosen;
}

namespace blocks {

bool Vector() {
    static const bool vector = ChosenKind() != ScanKind::Scalar;
    return vector;
}

}  // namespace blocks

ScanKind WidestKind() {
    static const ScanKind widest = KindRuns(ScanKind::Avx2)   ? ScanKind::Avx2
                                   : KindRuns(ScanKind::Sse2) ? ScanKind::Sse2
                                                              : ScanKind::Scalar;
    return widest;
}

const char* KindName(ScanKind kind) {
    switch (kind) {
        case ScanKind::Scalar:
            return "scalar";
        case ScanKind::Sse2:
            return "SSE2";
        case ScanKind::Avx2:
            return "AVX2";
    }
    return "?";
}

}  // namespace rowsmith
