#include "imaging/color_content.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>

#include "imaging/color_chroma.h"
#include "imaging/jpeg_codec.h"

namespace pagewash {

namespace {

// A quarter of the size keeps a stamp or a coloured line several pixels wide while the scaled inverse
// DCT decodes it in a fraction of the full decoding's time.
constexpr int kScaleDenominator = 4;
// The brightest tenth of a page is its paper on a page of text, and the highlights on a photo.
constexpr std::uint64_t kPaperShareDivisor = 10;
// A paper whose colour is this far from gray has a cast worth taking out.
constexpr float kTintedPaper = 4.0f;

class ReducedImage final : public ScanlineSink {
  public:
    bool begin(int width, int height, int components) noexcept override {
        if (components != 3) return false;
        m_width = static_cast<std::size_t>(width);
        m_height = static_cast<std::size_t>(height);
        try {
            m_pixels = std::make_unique_for_overwrite<std::uint8_t[]>(m_width * m_height * 3);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    std::uint8_t* rowBuffer(int y) noexcept override {
        return m_pixels.get() + static_cast<std::size_t>(y) * m_width * 3;
    }
    void rowDone(int) noexcept override {}

    const std::uint8_t* pixels() const { return m_pixels.get(); }
    std::size_t count() const { return m_width * m_height; }

  private:
    std::unique_ptr<std::uint8_t[]> m_pixels;
    std::size_t m_width = 0;
    std::size_t m_height = 0;
};

// Two opponent axes: red against green, and yellow against blue.
struct Opponent {
    float a;
    float b;
};
Opponent opponent(int r, int g, int b) {
    return {static_cast<float>(r - g), static_cast<float>(r + g) / 2.0f - static_cast<float>(b)};
}

// Rec. 601 luma in 8 bits: (77 R + 150 G + 29 B) / 256.
unsigned luma(const std::uint8_t* p) { return (77u * p[0] + 150u * p[1] + 29u * p[2]) >> 8; }

// The levels of `count` pixels a chunk at a time, in vectors (`vectorLevels` takes the same steps as
// `levelOf`), the chunk's last few one at a time; each chunk's levels are counted while in the cache.
constexpr std::size_t kChunk = 4096;
using Counts = std::array<std::uint64_t, 256>;

template <class VectorLevels, class LevelOf>
Counts countLevels(const std::uint8_t* rgb, std::size_t count, VectorLevels vectorLevels, LevelOf levelOf) {
    // Four partial counts, for pixels i mod 4: paper repeats one level, and counting every pixel in one
    // would wait on the previous increment of the same count.
    std::array<std::array<std::uint32_t, 256>, 4> partial{};
    std::array<std::uint8_t, kChunk> levels{};
    for (std::size_t from = 0; from < count; from += kChunk) {
        const std::size_t size = std::min(kChunk, count - from);
        const std::uint8_t* pixels = rgb + 3 * from;
        std::size_t i = vectorLevels(pixels, size, levels.data());
        for (; i < size; ++i) levels[i] = static_cast<std::uint8_t>(levelOf(pixels + 3 * i));
        for (i = 0; i + 4 <= size; i += 4) {
            ++partial[0][levels[i]];
            ++partial[1][levels[i + 1]];
            ++partial[2][levels[i + 2]];
            ++partial[3][levels[i + 3]];
        }
        for (; i < size; ++i) ++partial[i & 3][levels[i]];
    }
    Counts counts{};
    for (std::size_t level = 0; level < 256; ++level)
        counts[level] =
            std::uint64_t{partial[0][level]} + partial[1][level] + partial[2][level] + partial[3][level];
    return counts;
}

std::array<int, 3> paperColor(const std::uint8_t* rgb, std::size_t count) {
    const Counts byLuma = countLevels(rgb, count, lumaLevels, luma);
    // The lowest level from which on at least a tenth of the pixels lie.
    const std::uint64_t wanted = std::max<std::uint64_t>(1, count / kPaperShareDivisor);
    unsigned from = 256;
    for (std::uint64_t above = 0; from > 0 && above < wanted;) above += byLuma[--from];
    std::array<std::uint64_t, 3> sum{};
    std::uint64_t taken = 0;
    addBrightPixels(rgb, count, from, sum, taken);
    std::array<int, 3> paper{255, 255, 255};
    if (taken == 0) return paper;
    for (std::size_t c = 0; c < 3; ++c) paper[c] = static_cast<int>(sum[c] / taken);
    return paper;
}

}  // namespace

double ColorContent::shareAbove(int level) const {
    if (pixels == 0) return 0.0;
    std::uint64_t above = 0;
    for (std::size_t v = static_cast<std::size_t>(std::clamp(level + 1, 0, 256)); v < chroma.size(); ++v)
        above += chroma[v];
    return static_cast<double>(above) / static_cast<double>(pixels);
}

bool measureColorContent(std::FILE* file, ColorContent& content) {
    ReducedImage image;
    if (!decodeJpeg(file, image, kScaleDenominator)) return false;
    measureColorContent(image.pixels(), image.count(), content);
    return true;
}

void measureColorContent(const std::uint8_t* rgb, std::size_t count, ColorContent& content) {
    content = {};
    content.pixels = count;
    content.paper = paperColor(rgb, count);
    const Opponent cast = opponent(content.paper[0], content.paper[1], content.paper[2]);
    const float castLength = std::hypot(cast.a, cast.b);
    const bool tinted = castLength >= kTintedPaper;
    const float ua = tinted ? cast.a / castLength : 0.0f;
    const float ub = tinted ? cast.b / castLength : 0.0f;
    const auto chromaOf = [&](const std::uint8_t* p) {
        const Opponent o = opponent(p[0], p[1], p[2]);
        float chroma;
        if (tinted) {
            // The cast's own hue, stronger or weaker (older paper, brown ink, a shadow), is not colour;
            // any other hue and the opposite one are.
            const float along = o.a * ua + o.b * ub;
            const float across = std::fabs(o.b * ua - o.a * ub);
            chroma = std::max(across, -along);
        } else {
            // a * a + b * b is exact in float (a an integer, b a half, both within 255), so its correctly
            // rounded square root is hypot's value: the same count, without a library call per pixel.
            chroma = std::sqrt(o.a * o.a + o.b * o.b);
        }
        return static_cast<int>(std::clamp(chroma, 0.0f, 255.0f));
    };
    const auto vectorLevels = [&](const std::uint8_t* pixels, std::size_t size, std::uint8_t* levels) {
        return chromaLevels(pixels, size, tinted, ua, ub, levels);
    };
    content.chroma = countLevels(rgb, count, vectorLevels, chromaOf);
}

}  // namespace pagewash
