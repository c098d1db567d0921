#include "imaging/bilevel_page.h"

#include <algorithm>
#include <cstring>

#include "imaging/bilevel_despeckle.h"
#include "imaging/bilevel_sauvola.h"
#include "imaging/group4_codec.h"
#include "imaging/streamed_correction.h"

namespace pagewash {

BilevelPage codeBilevelPage(StreamedCorrection& image, int maxSpeck) {
    BilevelPage page;
    const int width = image.width();
    const int height = image.height();
    const auto components = static_cast<std::size_t>(image.outputComponents());
    const std::size_t rowBytes = static_cast<std::size_t>(std::max(width, 0)) * components;
    page.corrected.resize(rowBytes * static_cast<std::size_t>(std::max(height, 0)));
    for (int y = 0; y < height; ++y)
        std::memcpy(page.corrected.data() + static_cast<std::size_t>(y) * rowBytes, image.row(y), rowBytes);

    std::vector<std::uint8_t> luminance;
    const std::uint8_t* gray = page.corrected.data();
    if (components == 3) {
        // Y = 0.299 R + 0.587 G + 0.114 B, in 8-bit fixed point; a page without real colour only.
        luminance.resize(page.corrected.size() / 3);
        for (std::size_t i = 0; i < luminance.size(); ++i) {
            const std::uint8_t* rgb = page.corrected.data() + 3 * i;
            luminance[i] =
                static_cast<std::uint8_t>((77u * rgb[0] + 150u * rgb[1] + 29u * rgb[2] + 128u) >> 8);
        }
        gray = luminance.data();
    }
    const auto stride = static_cast<std::size_t>(std::max(width, 0));
    page.measure = measureTone(gray, width, height, stride);
    if (!page.measure.isTextPage()) return page;

    BilevelImage bits;
    binarizeSauvola(gray, width, height, stride, sauvolaParametersForDpi(estimatedDpi(width, height)), bits);
    despeckle(bits, maxSpeck);
    page.group4 = encodeGroup4(bits);
    return page;
}

std::uint64_t bilevelMemoryNeed(int width, int height, int components) {
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(std::max(width, 0)) * static_cast<std::uint64_t>(std::max(height, 0));
    const std::uint64_t copy = pixels * static_cast<std::uint64_t>(std::max(components, 1));
    const std::uint64_t luminance = components == 3 ? pixels : 0;
    // The page, the despeckling's two planes, the Group 4 data and libtiff's copy: five bits a pixel at most
    // for a text page.
    return copy + luminance + 5 * (pixels / 8 + 1);
}

}  // namespace pagewash
