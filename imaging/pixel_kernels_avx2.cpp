// AVX2 forms of the tone correction loops. Compiled for the baseline processor like the rest; only these
// functions carry the avx2 target, and they run only after haveAvx2() said yes.

#include "imaging/pixel_kernels.h"
#include "imaging/vector_level.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace pagewash::kernels {

#if defined(__x86_64__)

bool haveAvx2() { return processorVectorLevel() >= VectorLevel::Avx2; }

namespace avx2 {

namespace {

// The three channels of 8 pixels (24 bytes at p) as 32-bit lanes. Reads exactly those 24 bytes.
PAGEWASH_TARGET_AVX2 inline void loadChannels(const std::uint8_t* p, __m256i& r, __m256i& g, __m256i& b) {
    __m256i bytes = _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    bytes = _mm256_inserti128_si256(bytes, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16)), 1);
    // Pixels 0..3 (bytes 0..11) to the low lane, pixels 4..7 (bytes 12..23) to the high lane.
    bytes = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0));
    const __m256i pickR = _mm256_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1,  //
                                           0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m256i pickG = _mm256_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1,  //
                                           1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
    const __m256i pickB = _mm256_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1,  //
                                           2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    r = _mm256_shuffle_epi8(bytes, pickR);
    g = _mm256_shuffle_epi8(bytes, pickG);
    b = _mm256_shuffle_epi8(bytes, pickB);
}

// fastLuminance on 8 lanes, the same integer and float steps.
PAGEWASH_TARGET_AVX2 inline __m256i luminance8(__m256i r, __m256i g, __m256i b) {
    __m256i x = _mm256_add_epi32(_mm256_mullo_epi32(r, _mm256_set1_epi32(597824)),
                                 _mm256_mullo_epi32(g, _mm256_set1_epi32(1173222)));
    x = _mm256_add_epi32(x, _mm256_mullo_epi32(b, _mm256_set1_epi32(228956)));
    const __m256i roundsDown = _mm256_or_si256(_mm256_cmpeq_epi32(r, _mm256_set1_epi32(66)),
                                               _mm256_cmpeq_epi32(r, _mm256_set1_epi32(172)));
    x = _mm256_add_epi32(x, roundsDown);  // -1 where R is 66 or 172
    const __m256 scaled =
        _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(x, 7)), _mm256_set1_ps(1.0f / 15625.0f));
    return _mm256_cvttps_epi32(scaled);
}

PAGEWASH_TARGET_AVX2 inline __m256i yellowingGray8(__m256i r, __m256i g, __m256i b) {
    const __m256i y = luminance8(r, g, b);
    const __m256i spread = _mm256_sub_epi32(_mm256_max_epu32(_mm256_max_epu32(r, g), b),
                                            _mm256_min_epu32(_mm256_min_epu32(r, g), b));
    const __m256i lifted = _mm256_min_epu32(_mm256_add_epi32(y, spread), _mm256_set1_epi32(255));
    const __m256i dark = _mm256_cmpgt_epi32(_mm256_set1_epi32(16), y);
    return _mm256_blendv_epi8(lifted, y, dark);
}

// Four vectors of 8 values 0..255 to 32 bytes in order.
PAGEWASH_TARGET_AVX2 inline __m256i packBytes(__m256i a, __m256i b, __m256i c, __m256i d) {
    const __m256i ab = _mm256_packs_epi32(a, b);  // a0-3 b0-3 | a4-7 b4-7
    const __m256i cd = _mm256_packs_epi32(c, d);
    const __m256i abcd = _mm256_packus_epi16(ab, cd);  // a0-3 b0-3 c0-3 d0-3 | a4-7 b4-7 c4-7 d4-7
    return _mm256_permutevar8x32_epi32(abcd, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

template <bool kYellowing>
PAGEWASH_TARGET_AVX2 void grayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i parts[4];
        for (int k = 0; k < 4; ++k) {
            __m256i r, g, b;
            loadChannels(rgb + 3 * (i + 8 * static_cast<std::size_t>(k)), r, g, b);
            parts[k] = kYellowing ? yellowingGray8(r, g, b) : luminance8(r, g, b);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(gray + i),
                            packBytes(parts[0], parts[1], parts[2], parts[3]));
    }
    if (kYellowing) {
        scalar::yellowingGrayRow(rgb + 3 * i, gray + i, count - i);
    } else {
        scalar::luminanceRow(rgb + 3 * i, gray + i, count - i);
    }
}

}  // namespace

PAGEWASH_TARGET_AVX2 void luminanceRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    grayRow<false>(rgb, gray, count);
}

PAGEWASH_TARGET_AVX2 void yellowingGrayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    grayRow<true>(rgb, gray, count);
}

// A 256-entry byte table as sixteen 16-entry shuffles. For part k the index v - 16k is moved into 0x70..0x7F
// by a saturating add when it lies in 0..15; every other index lands on 0x80 or above, where the shuffle
// gives 0, so exactly one part contributes each byte.
PAGEWASH_TARGET_AVX2 void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    __m256i parts[16];
    for (int k = 0; k < 16; ++k) {
        parts[k] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data() + 16 * k)));
    }
    const __m256i sixteen = _mm256_set1_epi8(16);
    const __m256i lift = _mm256_set1_epi8(0x70);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(gray + i));
        __m256i result = _mm256_setzero_si256();
        for (int k = 0; k < 16; ++k) {
            result = _mm256_or_si256(result, _mm256_shuffle_epi8(parts[k], _mm256_adds_epu8(v, lift)));
            v = _mm256_sub_epi8(v, sixteen);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(gray + i), result);
    }
    scalar::applyToneTable(gray + i, count - i, table);
}

}  // namespace avx2

#else  // not x86-64: the plain loops only

bool haveAvx2() { return false; }

namespace avx2 {
void luminanceRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    scalar::luminanceRow(rgb, gray, count);
}
void yellowingGrayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    scalar::yellowingGrayRow(rgb, gray, count);
}
void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    scalar::applyToneTable(gray, count, table);
}
}  // namespace avx2

#endif

}  // namespace pagewash::kernels
