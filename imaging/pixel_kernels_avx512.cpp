// The tone table with the byte permutes of AVX-512 VBMI: a 256-entry byte table in four registers, two
// permutes and a blend per 64 values, instead of sixteen shuffles per 32 with AVX2. Compiled for the
// baseline processor like the rest; only this function carries the avx512 target, and it runs only after
// haveAvx512() said yes. (The gray conversion stays with AVX2: 16-lane forms of it measured slower.)

#include "imaging/pixel_kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define PAGEWASH_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#endif

namespace pagewash::kernels {

#if defined(__x86_64__)

bool haveAvx512() {
    static const bool available = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                  __builtin_cpu_supports("avx512vbmi");
    return available;
}

namespace avx512 {

// The two-table permute looks up 128 entries by the low seven bits; the top bit picks the half.
PAGEWASH_TARGET_AVX512 void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    const __m512i t0 = _mm512_loadu_si512(table.data());
    const __m512i t1 = _mm512_loadu_si512(table.data() + 64);
    const __m512i t2 = _mm512_loadu_si512(table.data() + 128);
    const __m512i t3 = _mm512_loadu_si512(table.data() + 192);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i v = _mm512_loadu_si512(gray + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
        _mm512_storeu_si512(gray + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high));
    }
    scalar::applyToneTable(gray + i, count - i, table);
}

}  // namespace avx512

#else  // not x86-64: the plain loops only

bool haveAvx512() { return false; }

namespace avx512 {
void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    scalar::applyToneTable(gray, count, table);
}
}  // namespace avx512

#endif

}  // namespace pagewash::kernels
