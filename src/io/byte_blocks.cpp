#include "io/byte_blocks.h"

namespace rowsmith {

bool KindRuns(ScanKind kind) {
    switch (kind) {
        case ScanKind::Scalar:
            return true;
        case ScanKind::Sse2:
#ifdef ROWSMITH_SSE2_KIND
            return true;
#else
            return false;
#endif
        case ScanKind::Avx2:
#ifdef ROWSMITH_AVX2_KIND
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
#else
            return false;
#endif
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
