#pragma once
// PAGEWASH_VECTOR_CLONES before a function compiles it twice on x86-64, for the baseline processor and for
// AVX2, and picks the version once at load time from what the processor offers. The shipped program thus
// runs on any x86-64 and uses AVX2 where it exists. Elsewhere the function is compiled once.

#if defined(__x86_64__)
#define PAGEWASH_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PAGEWASH_VECTOR_CLONES
#endif
