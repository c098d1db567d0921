// The tone table and the colour map with the byte permutes of AVX-512 VBMI: a 256-entry byte table in four
// registers, two permutes and a blend per 64 values, instead of sixteen shuffles per 32 with AVX2. Compiled
// for the baseline processor like the rest; only these functions carry the avx512 target, and they run only
// after haveAvx512() said yes. (The gray conversion stays with AVX2: 16-lane forms of it measured slower.)

#include "imaging/pixel_kernels.h"

#include <array>

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

namespace {

// A 256-entry byte table in four registers.
struct ByteTable {
    __m512i entries[4];
};

PAGEWASH_TARGET_AVX512 inline ByteTable loadTable(const std::uint8_t* table) {
    return {{_mm512_loadu_si512(table), _mm512_loadu_si512(table + 64), _mm512_loadu_si512(table + 128),
             _mm512_loadu_si512(table + 192)}};
}

// The two-table permute looks up 128 entries by the low seven bits; the top bit, given as `top`, picks the
// half.
PAGEWASH_TARGET_AVX512 inline __m512i lookUp(const ByteTable& table, __m512i index, __mmask64 top) {
    const __m512i low = _mm512_permutex2var_epi8(table.entries[0], index, table.entries[1]);
    const __m512i high = _mm512_permutex2var_epi8(table.entries[2], index, table.entries[3]);
    return _mm512_mask_blend_epi8(top, low, high);
}

// Byte j of the 192 channel bytes of 64 pixels belongs to pixel j / 3.
constexpr std::array<std::uint8_t, 192> kPixelOfChannel = [] {
    std::array<std::uint8_t, 192> pixelOf{};
    for (std::size_t j = 0; j < pixelOf.size(); ++j) pixelOf[j] = static_cast<std::uint8_t>(j / 3);
    return pixelOf;
}();

// Byte j of the result is bytes[index[j]]. (The unmasked intrinsic draws a false "may be used
// uninitialized" from GCC 12.)
PAGEWASH_TARGET_AVX512 inline __m512i permuteBytes(__m512i index, __m512i bytes) {
    return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, index, bytes);
}

// scaledChannel on 64 channel bytes, with their rows' flip and ratio bytes, in 16-bit lanes. The unpacks
// work within 128-bit lanes, and the final pack puts the bytes back in the same order.
PAGEWASH_TARGET_AVX512 inline __m512i scaleChannels(__m512i channels, __m512i flip, __m512i ratioLow,
                                                    __m512i ratioHigh) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i x = _mm512_xor_si512(channels, flip);
    const __m512i xs[2] = {_mm512_unpacklo_epi8(x, zero), _mm512_unpackhi_epi8(x, zero)};
    const __m512i ratios[2] = {_mm512_unpacklo_epi8(ratioLow, ratioHigh), _mm512_unpackhi_epi8(ratioLow, ratioHigh)};
    const __mmask32 lightened[2] = {_mm512_movepi16_mask(_mm512_unpacklo_epi8(flip, flip)),
                                    _mm512_movepi16_mask(_mm512_unpackhi_epi8(flip, flip))};
    __m512i quotients[2];
    for (int k = 0; k < 2; ++k) {
        const __m512i high = _mm512_mulhi_epu16(xs[k], ratios[k]);
        const __m512i low = _mm512_mullo_epi16(xs[k], ratios[k]);
        // A lightened channel rounds up when the product leaves a remainder: subtract -1.
        const __mmask32 roundUp = _mm512_mask_test_epi16_mask(lightened[k], low, low);
        quotients[k] = _mm512_mask_sub_epi16(high, roundUp, high, _mm512_set1_epi16(-1));
    }
    return _mm512_xor_si512(_mm512_packus_epi16(quotients[0], quotients[1]), flip);
}

}  // namespace

PAGEWASH_TARGET_AVX512 void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    const ByteTable entries = loadTable(table.data());
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i v = _mm512_loadu_si512(gray + i);
        _mm512_storeu_si512(gray + i, lookUp(entries, v, _mm512_movepi8_mask(v)));
    }
    scalar::applyToneTable(gray + i, count - i, table);
}

PAGEWASH_TARGET_AVX512 void applyColorMap(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                                          const ColorCorrection& correction) {
    const ByteTable flip = loadTable(correction.flip.data());
    const ByteTable ratioLow = loadTable(correction.ratioLow.data());
    const ByteTable ratioHigh = loadTable(correction.ratioHigh.data());
    const ByteTable irregular = loadTable(correction.irregular.data());
    const __m512i pixelOf[3] = {_mm512_loadu_si512(kPixelOfChannel.data()),
                                _mm512_loadu_si512(kPixelOfChannel.data() + 64),
                                _mm512_loadu_si512(kPixelOfChannel.data() + 128)};
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i g = _mm512_loadu_si512(gray + i);
        const __mmask64 top = _mm512_movepi8_mask(g);
        const __m512i rowFlip = lookUp(flip, g, top);
        const __m512i rowRatioLow = lookUp(ratioLow, g, top);
        const __m512i rowRatioHigh = lookUp(ratioHigh, g, top);
        const __mmask64 fromMap = _mm512_movepi8_mask(lookUp(irregular, g, top));
        std::uint8_t* const pixels = rgb + 3 * i;
        __m512i input[3];
        for (int k = 0; k < 3; ++k) {
            input[k] = _mm512_loadu_si512(pixels + 64 * k);
            _mm512_storeu_si512(pixels + 64 * k,
                                scaleChannels(input[k], permuteBytes(pixelOf[k], rowFlip),
                                              permuteBytes(pixelOf[k], rowRatioLow),
                                              permuteBytes(pixelOf[k], rowRatioHigh)));
        }
        if (fromMap != 0) {
            std::uint8_t original[192];
            for (int k = 0; k < 3; ++k) _mm512_storeu_si512(original + 64 * k, input[k]);
            for (std::uint64_t left = fromMap; left != 0; left &= left - 1) {
                const auto p = static_cast<std::size_t>(__builtin_ctzll(left));
                const auto& row = correction.map[gray[i + p]];
                for (std::size_t c = 0; c < 3; ++c) pixels[3 * p + c] = row[original[3 * p + c]];
            }
        }
    }
    scalar::applyColorMap(rgb + 3 * i, gray + i, count - i, correction);
}

}  // namespace avx512

#else  // not x86-64: the plain loops only

bool haveAvx512() { return false; }

namespace avx512 {
void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    scalar::applyToneTable(gray, count, table);
}
void applyColorMap(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                   const ColorCorrection& correction) {
    scalar::applyColorMap(rgb, gray, count, correction);
}
}  // namespace avx512

#endif

}  // namespace pagewash::kernels
