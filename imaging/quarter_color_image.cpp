// Each scanline is reduced four times across as it comes, in vectors: its samples split into R, G and B,
// neighbouring pixels added in pairs and the pairs again, each block's four-pixel sums added to the band's
// (one plane per colour, 32-bit lanes). Once a band of four rows is complete, its means are rounded,
// interleaved and stored in one vector step. Highway compiles both steps once per vector target (see
// foreach_target.h) and HWY_DYNAMIC_DISPATCH runs the widest form this processor has.

#include "imaging/quarter_color_image.h"

#include <algorithm>
#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/quarter_color_image.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::quarter::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR
// sums[j] += the sum of samples 4 j to 4 j + 3 of `samples` (one colour), for a vector of samples.
template <class D8, class V8>
void addFours(D8 d8, V8 samples, std::uint32_t* sums) {
    const hn::Repartition<std::uint16_t, D8> d16;
    const hn::Repartition<std::uint32_t, D8> d32;
    const auto asPairs = hn::BitCast(d16, samples);
    const auto pairs = hn::Add(hn::And(asPairs, hn::Set(d16, 0xFF)), hn::ShiftRight<8>(asPairs));
    const auto asFours = hn::BitCast(d32, pairs);
    const auto fours = hn::Add(hn::And(asFours, hn::Set(d32, 0xFFFF)), hn::ShiftRight<16>(asFours));
    hn::StoreU(hn::Add(hn::LoadU(d32, sums), fours), d32, sums);
}
#endif

// The sums of the blocks of the first pixels of an RGB row of `width` pixels added to the planes of
// `sums` (red at 0, green at `plane`, blue at 2 plane), whole vectors only. Returns the pixels it added.
std::size_t addRowOn(const std::uint8_t* rgb, std::size_t width, std::uint32_t* sums, std::size_t plane) {
#if HWY_TARGET == HWY_SCALAR
    (void)rgb;
    (void)width;
    (void)sums;
    (void)plane;
    return 0;
#else
    const hn::ScalableTag<std::uint8_t> d8;
    const std::size_t lanes = hn::Lanes(d8);
    std::size_t x = 0;
    for (; x + lanes <= width; x += lanes) {
        auto r = hn::Zero(d8);
        auto g = hn::Zero(d8);
        auto b = hn::Zero(d8);
        hn::LoadInterleaved3(d8, rgb + 3 * x, r, g, b);
        std::uint32_t* block = sums + x / 4;
        addFours(d8, r, block);
        addFours(d8, g, block + plane);
        addFours(d8, b, block + 2 * plane);
    }
    return x;
#endif
}

// out = the rounded means of the first blocks of a band of sixteen pixels a block, interleaved RGB, whole
// vectors only. Returns the blocks it did.
std::size_t storeMeansOn(const std::uint32_t* sums, std::size_t blocks, std::size_t plane,
                         std::uint8_t* out) {
    const hn::ScalableTag<std::int32_t> d;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    const std::size_t lanes = hn::Lanes(d);
    const auto half = hn::Set(d, 8);
    const auto meanAt = [&](const std::uint32_t* at) {
        const auto sum = hn::LoadU(d, reinterpret_cast<const std::int32_t*>(at));
        return hn::DemoteTo(d8, hn::ShiftRight<4>(hn::Add(sum, half)));
    };
    std::size_t j = 0;
    for (; j + lanes <= blocks; j += lanes)
        hn::StoreInterleaved3(meanAt(sums + j), meanAt(sums + plane + j), meanAt(sums + 2 * plane + j), d8,
                              out + 3 * j);
    return j;
}

}  // namespace pagewash::quarter::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pagewash {

namespace quarter {
namespace {
HWY_EXPORT(addRowOn);
HWY_EXPORT(storeMeansOn);
}  // namespace
}  // namespace quarter

namespace {

std::size_t quarterOf(int length) { return (static_cast<std::size_t>(std::max(length, 0)) + 3) / 4; }

}  // namespace

namespace {

// The last pixels of a row, fewer than a vector's, are added once more in vectors from a copy padded with
// zeros: each plane has room for the blocks of that many pixels past the width.
constexpr std::size_t kTailPixels = 64;
std::size_t planeOf(std::size_t width) { return width + kTailPixels / 4; }

}  // namespace

void QuarterColorImage::begin(int width, int height) {
    m_fullWidth = static_cast<std::size_t>(std::max(width, 0));
    m_fullHeight = std::max(height, 0);
    m_width = quarterOf(width);
    m_height = quarterOf(height);
    m_pixels = std::make_unique_for_overwrite<std::uint8_t[]>(m_width * m_height * 3);
    m_sums = std::make_unique<std::uint32_t[]>(planeOf(m_width) * 3);
    m_tail = std::make_unique<std::uint8_t[]>(kTailPixels * 3);
}

std::uint64_t QuarterColorImage::memoryNeed(int width, int height) {
    return std::uint64_t{quarterOf(width)} * quarterOf(height) * 3 +
           std::uint64_t{planeOf(quarterOf(width))} * 3 * sizeof(std::uint32_t) + kTailPixels * 3;
}

void QuarterColorImage::addRow(const std::uint8_t* rgb, int y) {
    std::uint32_t* sums = m_sums.get();
    const std::size_t plane = planeOf(m_width);
    std::size_t x = HWY_DYNAMIC_DISPATCH(quarter::addRowOn)(rgb, m_fullWidth, sums, plane);
    if (x < m_fullWidth && m_fullWidth - x <= kTailPixels) {
        // The same count of pixels each row: the zeros after them stay.
        std::memcpy(m_tail.get(), rgb + x * 3, (m_fullWidth - x) * 3);
        if (HWY_DYNAMIC_DISPATCH(quarter::addRowOn)(m_tail.get(), kTailPixels, sums + x / 4, plane) > 0)
            x = m_fullWidth;
    }
    // Any left one at a time (vectors wider than the copy).
    for (; x < m_fullWidth; ++x)
        for (std::size_t c = 0; c < 3; ++c) sums[c * plane + x / 4] += rgb[x * 3 + c];
    if (y % 4 == 3 || y == m_fullHeight - 1) flushBand(y);
}

void QuarterColorImage::flushBand(int y) {
    const auto bandRows = static_cast<unsigned>(y % 4 + 1);
    const std::uint32_t* sums = m_sums.get();
    const std::size_t plane = planeOf(m_width);
    std::uint8_t* out = m_pixels.get() + static_cast<std::size_t>(y / 4) * m_width * 3;
    const std::size_t whole = m_fullWidth / 4;
    // A band of four rows, all but the last: sixteen pixels a block.
    std::size_t x = bandRows == 4 ? HWY_DYNAMIC_DISPATCH(quarter::storeMeansOn)(sums, whole, plane, out) : 0;
    for (; x < m_width; ++x) {
        const auto columns = static_cast<unsigned>(std::min<std::size_t>(4, m_fullWidth - x * 4));
        const unsigned n = columns * bandRows;
        for (std::size_t c = 0; c < 3; ++c)
            out[x * 3 + c] = static_cast<std::uint8_t>((sums[c * plane + x] + n / 2) / n);
    }
    std::memset(m_sums.get(), 0, plane * 3 * sizeof(std::uint32_t));
}

}  // namespace pagewash
#endif  // HWY_ONCE
