// The tone loops with AVX-512, 64 pixels at a time. The tone table and the colour levels use the byte
// permutes of VBMI: a 256-entry byte table in four registers, two permutes and a blend per 64 values. The
// gray conversions form the luminance sum with the byte dot products of VNNI. Compiled for the baseline
// processor like the rest; only these functions carry the AVX-512 targets, and they run only after
// haveAvx512() or haveAvx512Vnni() said yes.

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/pixel_kernels.h"
#include "imaging/vector_level.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define PAGEWASH_TARGET_AVX512_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#define PAGEWASH_TARGET_AVX512_VNNI __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vnni")))
#endif

namespace pagewash::kernels {

#if defined(__x86_64__)

bool haveAvx512() {
    static const bool available =
        processorVectorLevel() >= VectorLevel::Avx512 && __builtin_cpu_supports("avx512vbmi");
    return available;
}

bool haveAvx512Vnni() {
    static const bool available = haveAvx512() && __builtin_cpu_supports("avx512vnni");
    return available;
}

namespace avx512 {

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

// The gray conversions, 64 pixels (three registers) at a time, in four groups of 16 pixels. Each pixel of a
// group goes into a 32-bit lane as the bytes R, G, B, 0. Group k starts at byte 48k; groups 0 and 1 are
// taken from registers 0 and 1, groups 2 and 3 from registers 1 and 2, so the index counts from the first
// register of the pair.
constexpr std::array<std::uint8_t, 256> kGroupIndex = [] {
    std::array<std::uint8_t, 256> index{};
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t base = 48 * k - (k < 2 ? 0 : 64);
        for (std::size_t j = 0; j < 16; ++j) {
            for (std::size_t c = 0; c < 3; ++c)
                index[64 * k + 4 * j + c] = static_cast<std::uint8_t>(base + 3 * j + c);
        }
    }
    return index;
}();
constexpr __mmask64 kColourBytes = 0x7777777777777777;  // bytes 0, 1, 2 of each lane; byte 3 becomes 0

// fastLuminance on 16 lanes of R, G, B, 0. The weighted sum is formed in base 256 with the digits of the
// three weights as signed bytes, by dot products of four unsigned pixel bytes with four signed weight bytes:
//   597824 =  9 * 65536 + 31 * 256 + 64
//   1173222 = 18 * 65536 - 25 * 256 - 26
//   228956 =  3 * 65536 + 126 * 256 + 92
// The partial sums wrap as 32-bit integers do, and the final sum (below 2^29) is exact.
PAGEWASH_TARGET_AVX512_VNNI inline __m512i luminance16(__m512i pixels) {
    const __m512i high = _mm512_set1_epi32(0x00031209);    // 9, 18, 3
    const __m512i middle = _mm512_set1_epi32(0x007EE71F);  // 31, -25, 126
    const __m512i low = _mm512_set1_epi32(0x005CE640);     // 64, -26, 92
    __m512i x = _mm512_dpbusd_epi32(_mm512_setzero_si512(), pixels, high);
    x = _mm512_dpbusd_epi32(_mm512_slli_epi32(x, 8), pixels, middle);
    x = _mm512_dpbusd_epi32(_mm512_slli_epi32(x, 8), pixels, low);
    const __m512i red = _mm512_and_si512(pixels, _mm512_set1_epi32(0xFF));
    const __mmask16 roundsDown = _mm512_cmpeq_epi32_mask(red, _mm512_set1_epi32(66)) |
                                 _mm512_cmpeq_epi32_mask(red, _mm512_set1_epi32(172));
    x = _mm512_mask_sub_epi32(x, roundsDown, x, _mm512_set1_epi32(1));
    const __m512 scaled =
        _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_srli_epi32(x, 7)), _mm512_set1_ps(1.0f / 15625.0f));
    return _mm512_cvttps_epi32(scaled);
}

// The yellowing gray value on 16 lanes: the spread is the largest minus the smallest of the three bytes,
// compared in the lowest byte of each lane with the lane shifted down by one and by two bytes.
PAGEWASH_TARGET_AVX512_VNNI inline __m512i yellowingGray16(__m512i pixels) {
    const __m512i y = luminance16(pixels);
    const __m512i green = _mm512_srli_epi32(pixels, 8);
    const __m512i blue = _mm512_srli_epi32(pixels, 16);
    const __m512i largest = _mm512_max_epu8(pixels, _mm512_max_epu8(green, blue));
    const __m512i smallest = _mm512_min_epu8(pixels, _mm512_min_epu8(green, blue));
    const __m512i spread = _mm512_and_si512(_mm512_sub_epi8(largest, smallest), _mm512_set1_epi32(0xFF));
    const __m512i lifted = _mm512_min_epu32(_mm512_add_epi32(y, spread), _mm512_set1_epi32(255));
    return _mm512_mask_blend_epi32(_mm512_cmplt_epu32_mask(y, _mm512_set1_epi32(16)), lifted, y);
}

// 64 gray values from 192 colour bytes.
template <bool kYellowing>
PAGEWASH_TARGET_AVX512_VNNI inline void grayBlock(const std::uint8_t* rgb, std::uint8_t* gray,
                                                  const __m512i* index) {
    const __m512i r0 = _mm512_loadu_si512(rgb), r1 = _mm512_loadu_si512(rgb + 64),
                  r2 = _mm512_loadu_si512(rgb + 128);
    __m512i values[4];
    for (int k = 0; k < 4; ++k) {
        const __m512i pixels = k < 2 ? _mm512_maskz_permutex2var_epi8(kColourBytes, r0, index[k], r1)
                                     : _mm512_maskz_permutex2var_epi8(kColourBytes, r1, index[k], r2);
        values[k] = kYellowing ? yellowingGray16(pixels) : luminance16(pixels);
    }
    const __m512i bytes = _mm512_packus_epi16(_mm512_packs_epi32(values[0], values[1]),
                                              _mm512_packs_epi32(values[2], values[3]));
    // After the two packs, 32-bit word 4L + m holds four values of group m from 128-bit lane L.
    const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    _mm512_storeu_si512(gray, _mm512_permutexvar_epi32(order, bytes));
}

template <bool kYellowing>
PAGEWASH_TARGET_AVX512_VNNI void grayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    const __m512i index[4] = {
        _mm512_loadu_si512(kGroupIndex.data()), _mm512_loadu_si512(kGroupIndex.data() + 64),
        _mm512_loadu_si512(kGroupIndex.data() + 128), _mm512_loadu_si512(kGroupIndex.data() + 192)};
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) grayBlock<kYellowing>(rgb + 3 * i, gray + i, index);
    if (i < count) {  // the rest of a scanline: one block through a buffer
        const std::size_t rest = count - i;
        std::uint8_t rgbRest[192] = {}, grayRest[64];
        std::memcpy(rgbRest, rgb + 3 * i, 3 * rest);
        grayBlock<kYellowing>(rgbRest, grayRest, index);
        std::memcpy(gray + i, grayRest, rest);
    }
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

PAGEWASH_TARGET_AVX512_VNNI void luminanceRow(const std::uint8_t* rgb, std::uint8_t* gray,
                                              std::size_t count) {
    grayRow<false>(rgb, gray, count);
}

PAGEWASH_TARGET_AVX512_VNNI void yellowingGrayRow(const std::uint8_t* rgb, std::uint8_t* gray,
                                                  std::size_t count) {
    grayRow<true>(rgb, gray, count);
}

PAGEWASH_TARGET_AVX512_VBMI void applyToneTable(std::uint8_t* gray, std::size_t count,
                                                const ToneTable& table) {
    const ByteTable entries = loadTable(table.data());
    for (std::size_t i = 0; i < count; i += 64) {
        const std::size_t n = std::min<std::size_t>(64, count - i);
        const __mmask64 wanted = n == 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
        const __m512i v = _mm512_maskz_loadu_epi8(wanted, gray + i);
        _mm512_mask_storeu_epi8(gray + i, wanted, lookUp(entries, v, _mm512_movepi8_mask(v)));
    }
}

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

}  // namespace avx512

#else  // not x86-64: the plain loops only

bool haveAvx512() { return false; }
bool haveAvx512Vnni() { return false; }

namespace avx512 {
void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    scalar::applyToneTable(gray, count, table);
}
void applyColorMap(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                   const ColorCorrection& correction) {
    scalar::applyColorMap(rgb, gray, count, correction);
}
void luminanceRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    scalar::luminanceRow(rgb, gray, count);
}
void yellowingGrayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    scalar::yellowingGrayRow(rgb, gray, count);
}
}  // namespace avx512

#endif

}  // namespace pagewash::kernels
