// The per-pixel loops of the tone correction. Highway compiles this file once per vector target (see
// foreach_target.h) and HWY_DYNAMIC_DISPATCH runs the widest form this processor has. The gray conversions
// and the tone table are written with Highway's operations; the colour levels are a plain lookup loop,
// except on AVX-512 with VBMI, which uses the byte permutes of pixel_kernels_vbmi.cpp.

#include "imaging/pixel_kernels.h"

#include <algorithm>
#include <cstring>

#include "imaging/histogram_counter.h"
#include "imaging/pixel_kernels_vbmi.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/pixel_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::kernels::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// fastLuminance of the pixels of one vector of 32-bit lanes: the same integer and float steps.
template <class D>
HWY_INLINE hn::Vec<D> luminance(D d, hn::Vec<D> r, hn::Vec<D> g, hn::Vec<D> b) {
    auto x = hn::Add(hn::Add(hn::Mul(r, hn::Set(d, 597824)), hn::Mul(g, hn::Set(d, 1173222))),
                     hn::Mul(b, hn::Set(d, 228956)));
    const auto roundsDown = hn::Or(hn::Eq(r, hn::Set(d, 66)), hn::Eq(r, hn::Set(d, 172)));
    x = hn::Add(x, hn::VecFromMask(d, roundsDown));  // -1 where R is 66 or 172
    const hn::Rebind<float, D> df;
    const auto scaled = hn::Mul(hn::ConvertTo(df, hn::ShiftRight<7>(x)), hn::Set(df, 1.0f / 15625.0f));
    return hn::ConvertTo(d, scaled);  // truncates, as the cast does
}

// The gray value of 32-bit lanes of R, G and B: the luminance, or the yellowing removal's
// y + min(spread, 255 - y) = min(y + spread, 255) from y = 16 on, spread being the largest channel minus
// the smallest.
template <bool kYellowing, class D>
HWY_INLINE hn::Vec<D> grayValue(D d, hn::Vec<D> r, hn::Vec<D> g, hn::Vec<D> b) {
    auto y = luminance(d, r, g, b);
    if constexpr (kYellowing) {
        const auto spread = hn::Sub(hn::Max(hn::Max(r, g), b), hn::Min(hn::Min(r, g), b));
        const auto lifted = hn::Min(hn::Add(y, spread), hn::Set(d, 255));
        y = hn::IfThenElse(hn::Lt(y, hn::Set(d, 16)), y, lifted);
    }
    return y;
}

// The bytes of a whole vector in two halves of twice the width, and so on down to 32-bit lanes; each
// quarter of the pixels is stored as its gray values are ready.
template <bool kYellowing, class D8>
HWY_INLINE void grayPixels(D8 d8, const std::uint8_t* rgb, std::uint8_t* gray) {
    hn::Vec<D8> r, g, b;
    hn::LoadInterleaved3(d8, rgb, r, g, b);
#if HWY_TARGET == HWY_SCALAR
    const hn::Rebind<std::int32_t, D8> d32;
    const auto y =
        grayValue<kYellowing>(d32, hn::PromoteTo(d32, r), hn::PromoteTo(d32, g), hn::PromoteTo(d32, b));
    hn::StoreU(hn::DemoteTo(d8, y), d8, gray);
#else
    const hn::Half<D8> h8;
    const hn::Rebind<std::int16_t, decltype(h8)> d16;
    const hn::Half<decltype(d16)> h16;
    const hn::Rebind<std::int32_t, decltype(h16)> d32;
    const hn::Rebind<std::uint8_t, decltype(d32)> q8;
    const std::size_t quarter = hn::Lanes(d32);
    auto halves = [&](hn::Vec<D8> v, hn::Vec<decltype(d16)>* out) {
        out[0] = hn::PromoteTo(d16, hn::LowerHalf(h8, v));
        out[1] = hn::PromoteTo(d16, hn::UpperHalf(h8, v));
    };
    hn::Vec<decltype(d16)> r16[2], g16[2], b16[2];
    halves(r, r16);
    halves(g, g16);
    halves(b, b16);
    for (std::size_t k = 0; k < 4; ++k) {
        auto widen = [&](const hn::Vec<decltype(d16)>* v) {
            return hn::PromoteTo(d32,
                                 k % 2 == 0 ? hn::LowerHalf(h16, v[k / 2]) : hn::UpperHalf(h16, v[k / 2]));
        };
        const auto y = grayValue<kYellowing>(d32, widen(r16), widen(g16), widen(b16));
        hn::StoreU(hn::DemoteTo(q8, y), q8, gray + k * quarter);
    }
#endif
}

template <bool kYellowing>
HWY_INLINE void grayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    const hn::ScalableTag<std::uint8_t> d;
    const hn::CappedTag<std::uint8_t, 1> one;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes) grayPixels<kYellowing>(d, rgb + 3 * i, gray + i);
#if HWY_TARGET == HWY_SCALAR
    static_cast<void>(one);
#else
    for (; i < count; ++i) {
        const hn::Rebind<std::int32_t, decltype(one)> d32;
        std::uint8_t r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        const auto y = grayValue<kYellowing>(d32, hn::Set(d32, r), hn::Set(d32, g), hn::Set(d32, b));
        gray[i] = static_cast<std::uint8_t>(hn::GetLane(y));
    }
#endif
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

void addHistogram(const std::uint8_t* gray, std::size_t count, std::array<std::uint64_t, 256>& hist) {
    HistogramCounter counter(count);
    counter.add(gray, count);
    const Histogram counted = counter.total();
    for (std::size_t v = 0; v < 256; ++v) hist[v] += counted[v];
}

}  // namespace pagewash::kernels
#endif  // HWY_ONCE
