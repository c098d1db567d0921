// The colour levels and the tone table with AVX-512 VBMI, 64 pixels at a time. Written by hand because the
// loop rests on vpermi2b, a byte lookup into 128 bytes held in two registers, and on byte permutes across the
// whole register, which Highway 1.0 cannot express (its TableLookupBytes stays within 16-byte blocks); on the
// processors that have them they save more than a tenth of a colour job. Runs only when Highway's dispatch
// chose its AVX3_DL target (AVX-512 with VBMI and VNNI).

#include "imaging/pixel_kernels_vbmi.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/pixel_kernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define PAGEWASH_TARGET_AVX512_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#endif

namespace pagewash::kernels {

#if defined(__x86_64__)

namespace vbmi {

namespace {

// A 256-entry byte table in four registers.
struct ByteTable {
    __m512i entries[4];
};

PAGEWASH_TARGET_AVX512_VBMI inline ByteTable loadTable(const std::uint8_t* table) {
    return {{_mm512_loadu_si512(table), _mm512_loadu_si512(table + 64), _mm512_loadu_si512(table + 128),
             _mm512_loadu_si512(table + 192)}};
}

// The two-table permute looks up 128 entries by the low seven bits; the top bit, given as `top`, picks the
// half.
PAGEWASH_TARGET_AVX512_VBMI inline __m512i lookUp(const ByteTable& table, __m512i index, __mmask64 top) {
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

// The factors of scaledChannel's product for 64 channel bytes, widened to 16-bit lanes: x (the channel, or
// its complement in lightened rows) and the row's ratio. The unpacks work within 128-bit lanes; packing the
// two halves puts the bytes back in the same order.
struct ChannelFactors {
    __m512i xLow, xHigh;          // x of bytes 0..7 and 8..15 of each 128-bit lane
    __m512i ratioLow, ratioHigh;  // the ratios of the same bytes
};

PAGEWASH_TARGET_AVX512_VBMI inline ChannelFactors channelFactors(__m512i channels, __m512i flip,
                                                                 __m512i ratioLowBytes,
                                                                 __m512i ratioHighBytes) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i x = _mm512_xor_si512(channels, flip);
    return {_mm512_unpacklo_epi8(x, zero), _mm512_unpackhi_epi8(x, zero),
            _mm512_unpacklo_epi8(ratioLowBytes, ratioHighBytes),
            _mm512_unpackhi_epi8(ratioLowBytes, ratioHighBytes)};
}

// scaledChannel on 64 channel bytes, with their rows' flip and white bytes.
PAGEWASH_TARGET_AVX512_VBMI inline __m512i scaleChannels(__m512i channels, __m512i flip, __m512i white,
                                                         const ChannelFactors& factors) {
    const __m512i low = _mm512_mulhi_epu16(factors.xLow, factors.ratioLow);
    const __m512i high = _mm512_mulhi_epu16(factors.xHigh, factors.ratioHigh);
    // (channels & flip) | white, as a three-input logic function: truth table 0xEA = A & B | C.
    const __m512i base = _mm512_ternarylogic_epi32(channels, flip, white, 0xEA);
    return _mm512_add_epi8(base, _mm512_packus_epi16(low, high));
}

// The channels whose quotient x * s / d is whole, the only places where the double formula can differ from
// the arithmetic (see buildColorCorrection): there x * R = k * 2^16 + x * (R - s * 2^16 / d) leaves a
// remainder below 256 in its low 16 bits; elsewhere the remainder is at least 2^16 / d > 257.
PAGEWASH_TARGET_AVX512_VBMI inline __mmask64 wholeQuotients(const ChannelFactors& factors) {
    const __m512i low = _mm512_mullo_epi16(factors.xLow, factors.ratioLow);
    const __m512i high = _mm512_mullo_epi16(factors.xHigh, factors.ratioHigh);
    // The remainders' high bytes, back in channel order.
    const __m512i remainderHigh = _mm512_packus_epi16(_mm512_srli_epi16(low, 8), _mm512_srli_epi16(high, 8));
    return _mm512_testn_epi8_mask(remainderHigh, remainderHigh);
}

// Byte j of the result is bytes[index[j]]. The zero-masking form: the plain one passes an undefined merge
// source, which GCC 12 reports as used uninitialized.
PAGEWASH_TARGET_AVX512_VBMI inline __m512i permuteBytes(__m512i index, __m512i bytes) {
    return _mm512_maskz_permutexvar_epi8(~__mmask64{0}, index, bytes);
}

// The colour correction's tables in registers.
struct ColorTables {
    PAGEWASH_TARGET_AVX512_VBMI explicit ColorTables(const ColorCorrection& correction)
        : flip(loadTable(correction.flip.data())),
          white(loadTable(correction.white.data())),
          ratioLow(loadTable(correction.ratioLow.data())),
          ratioHigh(loadTable(correction.ratioHigh.data())),
          irregular(loadTable(correction.irregular.data())),
          pixelOf{_mm512_loadu_si512(kPixelOfChannel.data()), _mm512_loadu_si512(kPixelOfChannel.data() + 64),
                  _mm512_loadu_si512(kPixelOfChannel.data() + 128)} {}
    ByteTable flip, white, ratioLow, ratioHigh, irregular;
    __m512i pixelOf[3];
};

// 64 colour pixels corrected in place.
PAGEWASH_TARGET_AVX512_VBMI inline void colorBlock(std::uint8_t* rgb, const std::uint8_t* gray,
                                                   const ColorTables& tables,
                                                   const ColorCorrection& correction) {
    const __m512i g = _mm512_loadu_si512(gray);
    const __mmask64 top = _mm512_movepi8_mask(g);
    const __m512i rowFlip = lookUp(tables.flip, g, top);
    const __m512i rowWhite = lookUp(tables.white, g, top);
    const __m512i rowRatioLow = lookUp(tables.ratioLow, g, top);
    const __m512i rowRatioHigh = lookUp(tables.ratioHigh, g, top);
    const __m512i rowIrregular = lookUp(tables.irregular, g, top);
    const bool anyIrregular = _mm512_movepi8_mask(rowIrregular) != 0;
    for (int k = 0; k < 3; ++k) {
        std::uint8_t* const channelBytes = rgb + 64 * k;
        const __m512i channels = _mm512_loadu_si512(channelBytes);
        const __m512i flip = permuteBytes(tables.pixelOf[k], rowFlip);
        const ChannelFactors factors =
            channelFactors(channels, flip, permuteBytes(tables.pixelOf[k], rowRatioLow),
                           permuteBytes(tables.pixelOf[k], rowRatioHigh));
        _mm512_storeu_si512(
            channelBytes, scaleChannels(channels, flip, permuteBytes(tables.pixelOf[k], rowWhite), factors));
        if (!anyIrregular) continue;
        // An irregular row differs from the arithmetic only where the quotient is whole.
        const __mmask64 fromMap =
            _mm512_movepi8_mask(permuteBytes(tables.pixelOf[k], rowIrregular)) & wholeQuotients(factors);
        if (fromMap == 0) continue;
        std::uint8_t original[64];
        _mm512_storeu_si512(original, channels);
        for (std::uint64_t left = fromMap; left != 0; left &= left - 1) {
            const auto j = static_cast<std::size_t>(__builtin_ctzll(left));
            channelBytes[j] = correction.map[gray[(64 * static_cast<std::size_t>(k) + j) / 3]][original[j]];
        }
    }
}

}  // namespace

PAGEWASH_TARGET_AVX512_VBMI void applyColorMap(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                                               const ColorCorrection& correction) {
    const ColorTables tables(correction);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) colorBlock(rgb + 3 * i, gray + i, tables, correction);
    if (i < count) {  // the rest of a scanline: one block through a buffer
        const std::size_t rest = count - i;
        std::uint8_t rgbRest[192] = {}, grayRest[64] = {};
        std::memcpy(rgbRest, rgb + 3 * i, 3 * rest);
        std::memcpy(grayRest, gray + i, rest);
        colorBlock(rgbRest, grayRest, tables, correction);
        std::memcpy(rgb + 3 * i, rgbRest, 3 * rest);
    }
}

PAGEWASH_TARGET_AVX512_VBMI void applyToneTable(std::uint8_t* gray, std::size_t count,
                                                const ToneTable& table) {
    const ByteTable lookup = loadTable(table.data());
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i values = _mm512_loadu_si512(gray + i);
        _mm512_storeu_si512(gray + i, lookUp(lookup, values, _mm512_movepi8_mask(values)));
    }
    if (i < count) {  // the rest of a scanline, masked
        const __mmask64 rest = (std::uint64_t{1} << (count - i)) - 1;
        const __m512i values = _mm512_maskz_loadu_epi8(rest, gray + i);
        _mm512_mask_storeu_epi8(gray + i, rest, lookUp(lookup, values, _mm512_movepi8_mask(values)));
    }
}

}  // namespace vbmi

#endif

}  // namespace pagewash::kernels
