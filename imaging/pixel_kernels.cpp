// The per-pixel loops of the tone correction. Highway compiles this file once per vector target (see
// foreach_target.h) and HWY_DYNAMIC_DISPATCH runs the widest form this processor has. The gray conversions
// and the tone table are written with Highway's operations; the colour levels are a plain lookup loop;
// on AVX-512 with VBMI the tone table and the colour levels use the byte permutes of pixel_kernels_vbmi.cpp.

#include "imaging/pixel_kernels.h"

#include <algorithm>
#include <cstring>

#include "imaging/pixel_kernels_vbmi.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/pixel_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// fastLuminance of the pixels of one vector of 32-bit lanes: the same integer and float steps. The
// truncation of the positive float below 256 is its floor, and adding 2^23 leaves it in the low byte of
// the float's bits: the result is those bits, 0x4B0000yy.
template <class D>
HWY_INLINE hn::Vec<D> luminanceBits(D d, hn::Vec<D> r, hn::Vec<D> g, hn::Vec<D> b) {
    auto x = hn::Add(hn::Add(hn::Mul(r, hn::Set(d, 597824)), hn::Mul(g, hn::Set(d, 1173222))),
                     hn::Mul(b, hn::Set(d, 228956)));
    const auto roundsDown = hn::Or(hn::Eq(r, hn::Set(d, 66)), hn::Eq(r, hn::Set(d, 172)));
    x = hn::Add(x, hn::VecFromMask(d, roundsDown));  // -1 where R is 66 or 172
    const hn::Rebind<float, D> df;
    const auto scaled = hn::Mul(hn::ConvertTo(df, hn::ShiftRight<7>(x)), hn::Set(df, 1.0f / 15625.0f));
    return hn::BitCast(d, hn::Add(hn::Floor(scaled), hn::Set(df, 8388608.0f)));
}

// The gray value of 32-bit lanes of R, G and B in the low byte of each lane: the luminance, or the
// yellowing removal's y + min(spread, 255 - y) = min(y + spread, 255) from y = 16 on, spread being the
// largest channel minus the smallest.
template <bool kYellowing, class D>
HWY_INLINE hn::Vec<D> grayValue(D d, hn::Vec<D> r, hn::Vec<D> g, hn::Vec<D> b) {
    const auto bits = luminanceBits(d, r, g, b);
    if constexpr (!kYellowing) return bits;
    const auto y = hn::And(bits, hn::Set(d, 255));
    const auto spread = hn::Sub(hn::Max(hn::Max(r, g), b), hn::Min(hn::Min(r, g), b));
    const auto lifted = hn::Min(hn::Add(y, spread), hn::Set(d, 255));
    return hn::IfThenElse(hn::Lt(y, hn::Set(d, 16)), y, lifted);
}

#if HWY_TARGET != HWY_SCALAR
// The channels of Lanes(d) pixels at p in 32-bit lanes: the pixels' bytes are moved to four per 128-bit
// block (3 lanes of 4 bytes each), and a byte shuffle per channel picks them, zeros above. Reads a whole
// vector of bytes, a quarter more than the pixels.
template <class D>
HWY_INLINE void loadChannels(D d, const std::uint8_t* p, hn::Vec<D>& r, hn::Vec<D>& g, hn::Vec<D>& b) {
    const hn::Repartition<std::uint8_t, D> d8;
    constexpr std::size_t kLanes = hn::MaxLanes(d);
    auto words = hn::BitCast(d, hn::LoadU(d8, p));
    if constexpr (kLanes > 4) {
        HWY_ALIGN std::int32_t index[kLanes];
        for (std::size_t j = 0; j < kLanes; ++j) index[j] = static_cast<std::int32_t>(j / 4 * 3 + j % 4 % 3);
        words = hn::TableLookupLanes(words, hn::SetTableIndices(d, index));
    }
    HWY_ALIGN std::uint8_t pick[3][16 * (kLanes / 4)];
    for (std::size_t c = 0; c < 3; ++c) {
        for (std::size_t j = 0; j < sizeof(pick[c]); ++j)
            pick[c][j] = j % 4 == 0 ? static_cast<std::uint8_t>(j % 16 / 4 * 3 + c) : 0x80;
    }
    const auto bytes = hn::BitCast(d8, words);
    r = hn::BitCast(d, hn::TableLookupBytesOr0(bytes, hn::Load(d8, pick[0])));
    g = hn::BitCast(d, hn::TableLookupBytesOr0(bytes, hn::Load(d8, pick[1])));
    b = hn::BitCast(d, hn::TableLookupBytesOr0(bytes, hn::Load(d8, pick[2])));
}
#endif

template <bool kYellowing>
HWY_INLINE void grayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    std::size_t i = 0;
#if HWY_TARGET != HWY_SCALAR
    // Four vectors of 32-bit lanes give a vector of bytes: the low halves of the lanes, then their low
    // bytes. The last load reads a quarter vector past its pixels, which must lie inside the row.
    const hn::ScalableTag<std::int32_t> d;
    const hn::Repartition<std::uint16_t, decltype(d)> d16;
    const hn::Repartition<std::uint8_t, decltype(d)> d8;
    const std::size_t lanes = hn::Lanes(d), block = 4 * lanes;
    for (; 3 * (count - i) >= 3 * block + lanes; i += block) {
        hn::Vec<decltype(d16)> halves[2];
        for (std::size_t k = 0; k < 4; k += 2) {
            hn::Vec<decltype(d)> r, g, b, r2, g2, b2;
            loadChannels(d, rgb + 3 * (i + k * lanes), r, g, b);
            loadChannels(d, rgb + 3 * (i + (k + 1) * lanes), r2, g2, b2);
            halves[k / 2] = hn::ConcatEven(d16, hn::BitCast(d16, grayValue<kYellowing>(d, r2, g2, b2)),
                                           hn::BitCast(d16, grayValue<kYellowing>(d, r, g, b)));
        }
        hn::StoreU(hn::ConcatEven(d8, hn::BitCast(d8, halves[1]), hn::BitCast(d8, halves[0])), d8, gray + i);
    }
#endif
    const hn::CappedTag<std::int32_t, 1> one;
    for (; i < count; ++i) {
        const auto y = grayValue<kYellowing>(one, hn::Set(one, rgb[3 * i]), hn::Set(one, rgb[3 * i + 1]),
                                             hn::Set(one, rgb[3 * i + 2]));
        gray[i] = static_cast<std::uint8_t>(hn::GetLane(y));
    }
}

void luminanceRowOn(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    grayRow<false>(rgb, gray, count);
}

void yellowingGrayRowOn(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    grayRow<true>(rgb, gray, count);
}

// The 256-entry table as sixteen 16-entry byte shuffles: the low four bits of a value index every part, and
// the part whose number is the high four bits is kept. The row's tail, and the one-lane target, look values
// up one at a time.
void applyToneTableOn(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
#if HWY_TARGET == HWY_AVX3_DL
    vbmi::applyToneTable(gray, count, table);
#else
    std::size_t i = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<std::uint8_t> d;
    using V = hn::Vec<decltype(d)>;
    V parts[16];
    for (std::size_t k = 0; k < 16; ++k) parts[k] = hn::LoadDup128(d, table.data() + 16 * k);
    const std::size_t lanes = hn::Lanes(d);
    for (; i + lanes <= count; i += lanes) {
        const V v = hn::LoadU(d, gray + i);
        const V low = hn::And(v, hn::Set(d, 15));
        const V high = hn::ShiftRight<4>(v);
        V result = hn::TableLookupBytes(parts[0], low);
        for (std::size_t k = 1; k < 16; ++k) {
            const auto inPart = hn::Eq(high, hn::Set(d, static_cast<std::uint8_t>(k)));
            result = hn::IfThenElse(inPart, hn::TableLookupBytes(parts[k], low), result);
        }
        hn::StoreU(result, d, gray + i);
    }
#endif
    for (; i < count; ++i) gray[i] = table[gray[i]];
#endif
}

// Looks every pixel up in the map; runs of pixels that all turn white, the paper of a page, are written
// without looking anything up.
void applyColorMapOn(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                     const ColorCorrection& correction) {
#if HWY_TARGET == HWY_AVX3_DL
    vbmi::applyColorMap(rgb, gray, count, correction);
#else
    constexpr std::size_t kBlock = 32;
    for (std::size_t start = 0; start < count; start += kBlock) {
        const std::size_t n = std::min(kBlock, count - start);
        bool allWhite = n == kBlock;
        for (std::size_t i = 0; i < n; ++i) allWhite &= gray[start + i] >= correction.whiteFrom;
        std::uint8_t* block = rgb + 3 * start;
        if (allWhite) {
            std::memset(block, 255, 3 * kBlock);
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const auto& channelMap = correction.map[gray[start + i]];
            block[3 * i] = channelMap[block[3 * i]];
            block[3 * i + 1] = channelMap[block[3 * i + 1]];
            block[3 * i + 2] = channelMap[block[3 * i + 2]];
        }
    }
#endif
}

}  // namespace pagewash::kernels::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pagewash::kernels {

HWY_EXPORT(luminanceRowOn);
HWY_EXPORT(yellowingGrayRowOn);
HWY_EXPORT(applyToneTableOn);
HWY_EXPORT(applyColorMapOn);

void luminanceRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    HWY_DYNAMIC_DISPATCH(luminanceRowOn)(rgb, gray, count);
}

void yellowingGrayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    HWY_DYNAMIC_DISPATCH(yellowingGrayRowOn)(rgb, gray, count);
}

void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    HWY_DYNAMIC_DISPATCH(applyToneTableOn)(gray, count, table);
}

void applyColorMap(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                   const ColorCorrection& correction) {
    HWY_DYNAMIC_DISPATCH(applyColorMapOn)(rgb, gray, count, correction);
}

}  // namespace pagewash::kernels
#endif  // HWY_ONCE
