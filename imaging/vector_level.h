#pragma once
// The vector instructions that the window filters may use, chosen at run time so that the shipped program
// runs on any x86-64. Internal to imaging/. Thread-safe.

namespace pagewash {

// Ordered: each level includes the ones before it.
enum class VectorLevel {
    Baseline,  // what every processor of the architecture has (SSE2 on x86-64)
    Avx2,      // AVX2
    Avx512,    // AVX-512 F, BW, DQ and VL
};

// The widest level that this processor and operating system run. Decided once per process.
VectorLevel processorVectorLevel();

}  // namespace pagewash

#if defined(__x86_64__)
// Before a function: compile it for that level (the caller checks processorVectorLevel() first).
#define PAGEWASH_TARGET_AVX2 __attribute__((target("avx2")))
#define PAGEWASH_TARGET_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512dq,avx512vl")))
#endif
