// Highway compiles these steps once per vector target (see foreach_target.h) and HWY_DYNAMIC_DISPATCH runs
// the widest form this processor has; floats are not contracted (-ffp-contract=off), so each lane rounds
// as the scalar steps do.

#include "imaging/color_chroma.h"

#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/color_chroma.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::chroma::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The luma (77 R + 150 G + 29 B) >> 8 in 16-bit lanes: the weights add up to 256, so 255 of each fits.
template <class D, class V>
V lumaOf(D d, V r, V g, V b) {
    const auto weighted =
        hn::Add(hn::Add(hn::Mul(r, hn::Set(d, 77)), hn::Mul(g, hn::Set(d, 150))), hn::Mul(b, hn::Set(d, 29)));
    return hn::ShiftRight<8>(weighted);
}

// The R, G and B of lanes(d) interleaved pixels, each widened to d's lanes.
template <class D>
void loadChannels(D d, const std::uint8_t* rgb, hn::Vec<D>& r, hn::Vec<D>& g, hn::Vec<D>& b) {
    const hn::Rebind<std::uint8_t, D> d8;
    auto r8 = hn::Zero(d8);
    auto g8 = hn::Zero(d8);
    auto b8 = hn::Zero(d8);
    hn::LoadInterleaved3(d8, rgb, r8, g8, b8);
    r = hn::PromoteTo(d, r8);
    g = hn::PromoteTo(d, g8);
    b = hn::PromoteTo(d, b8);
}

std::size_t lumaLevelsOn(const std::uint8_t* rgb, std::size_t count, std::uint8_t* levels) {
    const hn::ScalableTag<std::uint16_t> d;
    const hn::Rebind<std::int16_t, decltype(d)> di;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        hn::Vec<decltype(d)> r, g, b;
        loadChannels(d, rgb + 3 * i, r, g, b);
        const auto luma = lumaOf(d, r, g, b);
        hn::StoreU(hn::DemoteTo(d8, hn::BitCast(di, luma)), d8, levels + i);
    }
    return i;
}

std::size_t addBrightPixelsOn(const std::uint8_t* rgb, std::size_t count, unsigned from, std::uint64_t* sum,
                              std::uint64_t* taken) {
    const hn::ScalableTag<std::uint16_t> d;
    const std::size_t lanes = hn::Lanes(d);
    // 256 (no pixel) fits a lane too.
    const auto threshold = hn::Set(d, static_cast<std::uint16_t>(from));
    // A lane adds at most 255 a vector: 256 vectors fit its 16 bits before they go to the 64-bit sums.
    constexpr std::size_t kVectorsPerFlush = 256;
    HWY_ALIGN std::uint16_t lanesOut[3][hn::MaxLanes(d)];
    std::size_t i = 0;
    while (i + lanes <= count) {
        const std::size_t end = std::min(i + kVectorsPerFlush * lanes, count - (count - i) % lanes);
        auto sumR = hn::Zero(d);
        auto sumG = hn::Zero(d);
        auto sumB = hn::Zero(d);
        for (; i < end; i += lanes) {
            hn::Vec<decltype(d)> r, g, b;
            loadChannels(d, rgb + 3 * i, r, g, b);
            const auto dark = hn::Lt(lumaOf(d, r, g, b), threshold);
            sumR = hn::Add(sumR, hn::IfThenZeroElse(dark, r));
            sumG = hn::Add(sumG, hn::IfThenZeroElse(dark, g));
            sumB = hn::Add(sumB, hn::IfThenZeroElse(dark, b));
            *taken += lanes - hn::CountTrue(d, dark);
        }
        hn::Store(sumR, d, lanesOut[0]);
        hn::Store(sumG, d, lanesOut[1]);
        hn::Store(sumB, d, lanesOut[2]);
        for (std::size_t c = 0; c < 3; ++c)
            for (std::size_t lane = 0; lane < lanes; ++lane) sum[c] += lanesOut[c][lane];
    }
    return i;
}

std::size_t chromaLevelsOn(const std::uint8_t* rgb, std::size_t count, bool tinted, float ua, float ub,
                           std::uint8_t* levels) {
    const hn::ScalableTag<float> d;
    const hn::Rebind<std::int32_t, decltype(d)> di;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    const std::size_t lanes = hn::Lanes(d);
    // Halving is exact, by a product as by a quotient.
    const auto half = hn::Set(d, 0.5f);
    const auto alongA = hn::Set(d, ua);
    const auto alongB = hn::Set(d, ub);
    const auto lowest = hn::Zero(d);
    const auto highest = hn::Set(d, 255.0f);
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        hn::Vec<decltype(di)> r, g, b;
        loadChannels(di, rgb + 3 * i, r, g, b);
        // a = R - G, b = (R + G) / 2 - B: exact in float.
        const auto a = hn::ConvertTo(d, hn::Sub(r, g));
        const auto yb = hn::Sub(hn::Mul(hn::ConvertTo(d, hn::Add(r, g)), half), hn::ConvertTo(d, b));
        decltype(hn::Zero(d)) chroma;
        if (tinted) {
            const auto along = hn::Add(hn::Mul(a, alongA), hn::Mul(yb, alongB));
            const auto across = hn::Abs(hn::Sub(hn::Mul(yb, alongA), hn::Mul(a, alongB)));
            chroma = hn::Max(across, hn::Neg(along));
        } else {
            chroma = hn::Sqrt(hn::Add(hn::Mul(a, a), hn::Mul(yb, yb)));
        }
        const auto level = hn::ConvertTo(di, hn::Min(hn::Max(chroma, lowest), highest));
        hn::StoreU(hn::DemoteTo(d8, level), d8, levels + i);
    }
    return i;
}

}  // namespace pagewash::chroma::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pagewash {

namespace chroma {
namespace {
HWY_EXPORT(lumaLevelsOn);
HWY_EXPORT(addBrightPixelsOn);
HWY_EXPORT(chromaLevelsOn);
}  // namespace
}  // namespace chroma

std::size_t lumaLevels(const std::uint8_t* rgb, std::size_t count, std::uint8_t* levels) {
    return HWY_DYNAMIC_DISPATCH(chroma::lumaLevelsOn)(rgb, count, levels);
}

void addBrightPixels(const std::uint8_t* rgb, std::size_t count, unsigned from,
                     std::array<std::uint64_t, 3>& sum, std::uint64_t& taken) {
    std::size_t i = HWY_DYNAMIC_DISPATCH(chroma::addBrightPixelsOn)(rgb, count, from, sum.data(), &taken);
    for (; i < count; ++i) {
        const std::uint8_t* p = rgb + 3 * i;
        if (((77u * p[0] + 150u * p[1] + 29u * p[2]) >> 8) < from) continue;
        for (std::size_t c = 0; c < 3; ++c) sum[c] += p[c];
        ++taken;
    }
}

std::size_t chromaLevels(const std::uint8_t* rgb, std::size_t count, bool tinted, float ua, float ub,
                         std::uint8_t* levels) {
    return HWY_DYNAMIC_DISPATCH(chroma::chromaLevelsOn)(rgb, count, tinted, ua, ub, levels);
}

}  // namespace pagewash
#endif  // HWY_ONCE
