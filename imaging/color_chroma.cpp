// Highway compiles the chroma once per vector target (see foreach_target.h) and HWY_DYNAMIC_DISPATCH runs
// the widest form this processor has; floats are not contracted (-ffp-contract=off), so each lane rounds
// as the scalar steps do.

#include "imaging/color_chroma.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/color_chroma.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::chroma::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

std::size_t chromaLevelsOn(const std::uint8_t* rgb, std::size_t count, bool tinted, float ua, float ub,
                           std::uint8_t* levels) {
    const hn::ScalableTag<float> d;
    const hn::Rebind<std::int32_t, decltype(d)> di;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    const std::size_t lanes = hn::Lanes(d);
    const auto two = hn::Set(d, 2.0f);
    const auto alongA = hn::Set(d, ua);
    const auto alongB = hn::Set(d, ub);
    const auto lowest = hn::Zero(d);
    const auto highest = hn::Set(d, 255.0f);
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        auto r8 = hn::Zero(d8);
        auto g8 = hn::Zero(d8);
        auto b8 = hn::Zero(d8);
        hn::LoadInterleaved3(d8, rgb + 3 * i, r8, g8, b8);
        const auto r = hn::PromoteTo(di, r8);
        const auto g = hn::PromoteTo(di, g8);
        const auto b = hn::PromoteTo(di, b8);
        // a = R - G, b = (R + G) / 2 - B: exact in float.
        const auto a = hn::ConvertTo(d, hn::Sub(r, g));
        const auto yb = hn::Sub(hn::Div(hn::ConvertTo(d, hn::Add(r, g)), two), hn::ConvertTo(d, b));
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
HWY_EXPORT(chromaLevelsOn);
}  // namespace
}  // namespace chroma

std::size_t chromaLevels(const std::uint8_t* rgb, std::size_t count, bool tinted, float ua, float ub,
                         std::uint8_t* levels) {
    return HWY_DYNAMIC_DISPATCH(chroma::chromaLevelsOn)(rgb, count, tinted, ua, ub, levels);
}

}  // namespace pagewash
#endif  // HWY_ONCE
