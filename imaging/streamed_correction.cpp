#include "imaging/streamed_correction.h"

#include <cstdint>
#include <new>

#include "imaging/blur.h"

namespace pagewash {

bool StreamedCorrection::begin(int width, int height, int components) noexcept {
    m_width = width;
    m_height = height;
    m_components = components;
    m_plan = planTones(m_settings, components);
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const auto c = static_cast<std::size_t>(components);
    try {
        // An image that stays as it was is still decoded to the end (a damaged file must fail as before),
        // through one scanline. A gray result needs the colour of one scanline at a time only.
        const bool wholeColor = m_plan.changesImage && m_plan.componentsOut == 3;
        // libjpeg-turbo's vector colour conversion writes a scanline that starts on a 16- or 32-byte
        // boundary with non-temporal stores, which leave it in memory, out of the cache, just before the
        // gray conversion and the histogram read it: every scanline starts 8 bytes past such a boundary
        // (a width of whole 16-byte groups of samples keeps each row there).
        constexpr std::size_t kOffBoundary = 8;
        m_decodedStorage =
            std::make_unique_for_overwrite<std::uint8_t[]>((wholeColor ? w * h * c : w * c) + 16);
        const auto address = reinterpret_cast<std::uintptr_t>(m_decodedStorage.get());
        m_decoded = m_decodedStorage.get() + (kOffBoundary + 16 - address % 16) % 16;
        if (m_plan.changesImage) m_gray = std::make_unique_for_overwrite<std::uint8_t[]>(w * h);
        if (m_plan.automatic) m_histogram = HistogramCounter(w * h);
        if (m_quarter != nullptr && m_plan.changesImage && components == 3) m_quarter->begin(width, height);
        return true;
    } catch (const std::bad_alloc&) {
        m_outOfMemory = true;
        return false;
    }
}

std::uint8_t* StreamedCorrection::grayRow(int y) const {
    return m_gray.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
}

std::uint8_t* StreamedCorrection::colorRow(int y) const {
    return m_decoded + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) * 3;
}

std::uint8_t* StreamedCorrection::rowBuffer(int y) noexcept {
    if (!m_plan.changesImage) return m_decoded;
    if (m_components == 1) return grayRow(y);
    return m_plan.componentsOut == 3 ? colorRow(y) : m_decoded;
}

void StreamedCorrection::rowDone(int y) noexcept {
    if (!m_plan.changesImage) return;
    HistogramCounter* const histogram = m_plan.automatic ? &m_histogram : nullptr;
    const auto w = static_cast<std::size_t>(m_width);
    if (m_components == 3) {
        const std::uint8_t* rgb = m_plan.componentsOut == 3 ? colorRow(y) : m_decoded;
        if (m_quarter != nullptr) m_quarter->addRow(rgb, y);
        convertToGray(rgb, grayRow(y), w, m_plan.yellowing, histogram);
    } else if (histogram != nullptr) {
        histogram->add(grayRow(y), w);
    }
}

void StreamedCorrection::finish() {
    // The colour map's 65 KiB go to the heap here rather than on a worker thread's stack.
    if (m_plan.levels) {
        const std::int64_t pixelCount = std::int64_t{m_width} * m_height;
        m_table = toneTable(m_plan, m_settings, m_histogram.total(), pixelCount);
        if (m_plan.componentsOut == 3) {
            m_colorCorrection = std::make_unique<kernels::ColorCorrection>();
            buildColorCorrection(m_table, *m_colorCorrection);
        }
    }
    m_tonesPerRow = m_plan.levels;
    if (m_settings.blur() == BlurMode::None) return;
    // The blur reads the corrected neighbours of each pixel: all tones first.
    for (int y = 0; y < m_height; ++y) row(y);
    m_tonesPerRow = false;
    std::uint8_t* pixels = m_plan.componentsOut == 3 ? m_decoded : m_gray.get();
    ApplyBlur(pixels, m_width, m_height, m_plan.componentsOut, m_settings.blurStrength, m_settings.blur());
}

const std::uint8_t* StreamedCorrection::row(int y) noexcept {
    const auto w = static_cast<std::size_t>(m_width);
    if (m_plan.componentsOut == 3) {
        if (m_tonesPerRow) kernels::applyColorMap(colorRow(y), grayRow(y), w, *m_colorCorrection);
        return colorRow(y);
    }
    if (m_tonesPerRow) kernels::applyToneTable(grayRow(y), w, m_table);
    return grayRow(y);
}

}  // namespace pagewash
