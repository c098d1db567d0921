// The sums of a band of four rows in 16-bit lanes: each scanline's samples added where they lie, the four
// neighbouring pixels of a block added only once per band. Highway compiles both steps once per vector
// target (see foreach_target.h) and HWY_DYNAMIC_DISPATCH runs the widest form this processor has.

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

// sums[i] += samples[i] for `count` samples.
void addSamplesOn(const std::uint8_t* samples, std::uint16_t* sums, std::size_t count) {
    const hn::ScalableTag<std::uint16_t> d;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes)
        hn::StoreU(hn::Add(hn::LoadU(d, sums + i), hn::PromoteTo(d, hn::LoadU(d8, samples + i))), d,
                   sums + i);
    for (; i < count; ++i) sums[i] = static_cast<std::uint16_t>(sums[i] + samples[i]);
}

// blocks[i] = sums[i] + sums[i + 3] + sums[i + 6] + sums[i + 9]: at i = 12 j + c, channel c of the four
// pixels of block j. REQUIRES: sums holds count + 9 values.
void addNeighboursOn(const std::uint16_t* sums, std::uint16_t* blocks, std::size_t count) {
    const hn::ScalableTag<std::uint16_t> d;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t i = 0;
    for (; i + lanes <= count; i += lanes) {
        const auto pair = hn::Add(hn::LoadU(d, sums + i), hn::LoadU(d, sums + i + 3));
        const auto next = hn::Add(hn::LoadU(d, sums + i + 6), hn::LoadU(d, sums + i + 9));
        hn::StoreU(hn::Add(pair, next), d, blocks + i);
    }
    for (; i < count; ++i)
        blocks[i] = static_cast<std::uint16_t>(sums[i] + sums[i + 3] + sums[i + 6] + sums[i + 9]);
}

}  // namespace pagewash::quarter::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pagewash {

namespace quarter {
namespace {
HWY_EXPORT(addSamplesOn);
HWY_EXPORT(addNeighboursOn);
}  // namespace
}  // namespace quarter

namespace {

std::size_t quarterOf(int length) { return (static_cast<std::size_t>(std::max(length, 0)) + 3) / 4; }

}  // namespace

void QuarterColorImage::begin(int width, int height) {
    m_fullWidth = static_cast<std::size_t>(std::max(width, 0));
    m_fullHeight = std::max(height, 0);
    m_width = quarterOf(width);
    m_height = quarterOf(height);
    m_pixels = std::make_unique_for_overwrite<std::uint8_t[]>(m_width * m_height * 3);
    // Sixteen values of 255 fit 16 bits.
    m_sums = std::make_unique<std::uint16_t[]>(m_fullWidth * 3);
    m_blocks = std::make_unique_for_overwrite<std::uint16_t[]>(m_fullWidth * 3);
}

std::uint64_t QuarterColorImage::memoryNeed(int width, int height) {
    const std::uint64_t fullWidth = static_cast<std::uint64_t>(std::max(width, 0));
    return std::uint64_t{quarterOf(width)} * quarterOf(height) * 3 +
           2 * fullWidth * 3 * sizeof(std::uint16_t);
}

void QuarterColorImage::addRow(const std::uint8_t* rgb, int y) {
    HWY_DYNAMIC_DISPATCH(quarter::addSamplesOn)(rgb, m_sums.get(), m_fullWidth * 3);
    if (y % 4 == 3 || y == m_fullHeight - 1) flushBand(y);
}

void QuarterColorImage::flushBand(int y) {
    const auto bandRows = static_cast<unsigned>(y % 4 + 1);
    const std::uint16_t* sums = m_sums.get();
    std::uint8_t* out = m_pixels.get() + static_cast<std::size_t>(y / 4) * m_width * 3;
    const std::size_t whole = m_fullWidth / 4;
    if (whole > 0) {
        const std::uint16_t* blocks = m_blocks.get();
        HWY_DYNAMIC_DISPATCH(quarter::addNeighboursOn)(sums, m_blocks.get(), whole * 12 - 9);
        const unsigned n = 4 * bandRows;
        // A band of four rows, all but the last: sixteen pixels a block, a shift.
        const unsigned shift = n == 16 ? 4 : 0;
        for (std::size_t x = 0; x < whole; ++x) {
            for (std::size_t c = 0; c < 3; ++c) {
                const unsigned sum = blocks[x * 12 + c] + n / 2;
                out[x * 3 + c] = static_cast<std::uint8_t>(shift != 0 ? sum >> shift : sum / n);
            }
        }
    }
    // The block cut by the right edge.
    if (whole < m_width) {
        const auto columns = static_cast<unsigned>(m_fullWidth - whole * 4);
        const unsigned n = columns * bandRows;
        for (std::size_t c = 0; c < 3; ++c) {
            unsigned sum = 0;
            for (std::size_t x = whole * 4; x < m_fullWidth; ++x) sum += sums[x * 3 + c];
            out[whole * 3 + c] = static_cast<std::uint8_t>((sum + n / 2) / n);
        }
    }
    std::memset(m_sums.get(), 0, m_fullWidth * 3 * sizeof(std::uint16_t));
}

}  // namespace pagewash
#endif  // HWY_ONCE
