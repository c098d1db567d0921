#include "imaging/bilevel_page.h"

#include <algorithm>
#include <memory>

#include "imaging/bilevel_despeckle.h"
#include "imaging/bilevel_sauvola.h"
#include "imaging/group4_codec.h"
#include "imaging/quarter_color_image.h"
#include "imaging/streamed_correction.h"

namespace pagewash {

const std::uint8_t* correctedPixels(StreamedCorrection& image) {
    for (int y = 0; y < image.height(); ++y) image.row(y);
    return image.pixels();
}

namespace {

// The rows of a gray page, corrected as the band pass below reaches them, so that each is corrected while
// it comes into the cache: every fourth row first (the measure's guess of the ink's level reads them),
// then the others. StreamedCorrection corrects a row where it lies, once.
class CorrectedRows {
  public:
    // Hands every fourth row to `measurer` as it is corrected.
    CorrectedRows(StreamedCorrection& image, ToneMeasurer& measurer) : m_image(image) {
        for (int y = 0; y < image.height(); y += 4) {
            image.row(y);
            measurer.sampleGuessRow(y);
        }
    }
    // Corrects the rows before `end` not corrected yet.
    void correctBefore(int end) {
        for (; m_next < std::min(end, m_image.height()); ++m_next)
            if (m_next % 4 != 0) m_image.row(m_next);
    }

  private:
    StreamedCorrection& m_image;
    int m_next = 0;
};

}  // namespace

BilevelPage codeBilevelPage(StreamedCorrection& image, int maxSpeck) {
    BilevelPage page;
    const int width = image.width();
    const int height = image.height();
    const auto components = static_cast<std::size_t>(image.outputComponents());
    const std::size_t rowBytes = static_cast<std::size_t>(std::max(width, 0)) * components;
    std::optional<CorrectedRows> grayRows;
    std::unique_ptr<std::uint8_t[]> luminance;
    const std::uint8_t* gray = nullptr;
    if (components == 3) {
        page.corrected = correctedPixels(image);
        // Y = 0.299 R + 0.587 G + 0.114 B, in 8-bit fixed point; a page without real colour only.
        const std::size_t pixels = rowBytes / 3 * static_cast<std::size_t>(std::max(height, 0));
        luminance = std::make_unique_for_overwrite<std::uint8_t[]>(pixels);
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::uint8_t* rgb = page.corrected + 3 * i;
            luminance[i] =
                static_cast<std::uint8_t>((77u * rgb[0] + 150u * rgb[1] + 29u * rgb[2] + 128u) >> 8);
        }
        gray = luminance.get();
    } else {
        page.corrected = image.pixels();
        gray = page.corrected;
    }
    const auto stride = static_cast<std::size_t>(std::max(width, 0));
    // The measure and the threshold go through the page together, a band of tiles at a time, so that each
    // row is read from memory once: the threshold decides the rows whose windows the measured bands hold.
    // Most pages --bilevel is asked for are text pages; the threshold stops as soon as the measured tiles
    // tell that this one is not.
    ToneMeasurer measurer(gray, width, height, stride);
    if (components == 1) grayRows.emplace(image, measurer);
    BilevelImage bits;
    std::optional<SauvolaBinarizer> binarizer;
    binarizer.emplace(gray, width, height, stride, sauvolaParametersForDpi(estimatedDpi(width, height)),
                      bits);
    while (measurer.bandsMeasured() < measurer.bands()) {
        if (grayRows) grayRows->correctBefore((measurer.bandsMeasured() + 1) * kToneTile);
        measurer.measureNextBand();
        if (!binarizer) continue;
        if (measurer.knownNoTextPage())
            binarizer.reset();
        else
            binarizer->binarizeRowsBefore(measurer.bandsMeasured() * kToneTile - binarizer->half());
    }
    // A page that stays a JPEG is encoded from every corrected row.
    if (grayRows) grayRows->correctBefore(height);
    page.measure = measurer.finish();
    if (!page.measure.isTextPage()) return page;
    binarizer->binarizeRowsBefore(height);
    despeckle(bits, maxSpeck);
    page.group4 = encodeGroup4(bits);
    return page;
}

std::uint64_t bilevelMemoryNeed(int width, int height, int decodedComponents, int correctedComponents) {
    const auto w = static_cast<std::uint64_t>(std::max(width, 0));
    const auto h = static_cast<std::uint64_t>(std::max(height, 0));
    const std::uint64_t luminance = correctedComponents == 3 ? w * h : 0;
    const std::uint64_t reduced = decodedComponents == 3 ? QuarterColorImage::memoryNeed(width, height) : 0;
    const std::uint64_t bits = (w + 7) / 8 * h;
    // Sauvola's running sums: about 20 bytes a column and 8 a column of its widest window.
    const std::uint64_t sums = w > 0 ? 20 * w + 8 * kMaxSauvolaWindow : 0;
    return luminance + reduced + 4 * bits + sums;
}

}  // namespace pagewash
