#include "io/byte_blocks.h"

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
