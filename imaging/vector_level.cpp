#include "imaging/vector_level.h"

namespace pagewash {

VectorLevel processorVectorLevel() {
#if defined(__x86_64__)
    // __builtin_cpu_supports also checks that the operating system saves the wider registers.
    static const VectorLevel level = [] {
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl")) {
            return VectorLevel::Avx512;
        }
        if (__builtin_cpu_supports("avx2")) return VectorLevel::Avx2;
        return VectorLevel::Baseline;
    }();
    return level;
#else
    return VectorLevel::Baseline;
#endif
}

}  // namespace pagewash
