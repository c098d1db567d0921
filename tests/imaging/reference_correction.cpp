#include "tests/imaging/reference_correction.h"

#include <cmath>
#include <cstring>
#include <functional>

namespace pagewash::reference {

std::uint8_t luminance(int r, int g, int b) {
    return std::uint8_t(int(0.298912 * r + 0.586611 * g + 0.114478 * b));
}

std::uint8_t colorChannel(int channel, int g, int t) {
    if (t < g) return std::uint8_t(int(channel * (double(t) / g)));
    return t == 255 ? 255 : std::uint8_t(int(255 - (255 - channel) * (double(255 - t) / (255 - g))));
}

namespace {

void levelsFromHistogram(const std::uint8_t* gray, std::int64_t n, int& black, int& white) {
    std::uint32_t hist[256] = {};
    for (std::int64_t i = 0; i < n; ++i) ++hist[gray[i]];
    int levelShare[256];
    for (int v = 0; v < 256; ++v) levelShare[v] = int(double(hist[v]) * 1000000.0 / double(n));
    int table[101] = {};  // the black table; level 0 where no level reaches a rank
    std::int64_t sum = 0;
    for (int v = 0; v < 256; ++v) {
        sum += levelShare[v];
        for (std::int64_t rank = sum * 100 / n; rank <= 100; ++rank) table[rank] = v;
    }
    black = std::min(table[0] / 2, 50);
    white = 255;
    for (int v = 220; v <= 253 && white == 255; ++v) {
        if (std::sqrt(double(levelShare[v + 1])) - std::sqrt(double(levelShare[v])) > 9.0) white = v + 1;
    }
}

}  // namespace

void correctTones(std::uint8_t* grayBuffer, const CorrectionSettings& settings, std::uint8_t* colorBuffer,
                  std::int64_t n, int components) {
    int c = components;  // modes outside their enumerations act as None
    const int colorMode = settings.colorMode >= 0 && settings.colorMode <= 4 ? settings.colorMode : 0;
    const int grayMode = settings.grayMode >= 0 && settings.grayMode <= 2 ? settings.grayMode : 0;
    if (colorMode == 2 && c == 3) {
        for (std::int64_t i = 0; i < n; ++i) {
            const int r = colorBuffer[3 * i], g = colorBuffer[3 * i + 1], b = colorBuffer[3 * i + 2];
            const int y = luminance(r, g, b);
            const int d = std::max({std::abs(r - g), std::abs(r - b), std::abs(g - b)});
            grayBuffer[i] = std::uint8_t(y < 16 ? y : y + std::min(d, 255 - y));
        }
        c = 1;
    }
    if (colorMode == 0 && c == 3) return;
    if (c == 3) {
        for (std::int64_t i = 0; i < n; ++i)
            grayBuffer[i] = luminance(colorBuffer[3 * i], colorBuffer[3 * i + 1], colorBuffer[3 * i + 2]);
        if (colorMode == 3) c = 1;
    }
    if (c == 1 && grayMode == 0) return;

    // Manual levels from the references of the output's kind, else automatic ones from the histogram.
    int black = (c == 3 ? settings.colorBlack : settings.grayBlack) * 255 / 100;
    int white = (c == 3 ? settings.colorWhite : settings.grayWhite) * 255 / 100;
    if (!(c == 3 && colorMode == 4) && !(c == 1 && grayMode == 2))
        levelsFromHistogram(grayBuffer, n, black, white);
    int table[256];
    for (int v = 0; v <= black; ++v) table[v] = 0;
    for (int v = black + 1; v < white; ++v) table[v] = (v - black) * 255 / (white - black);
    for (int v = white; v <= 255; ++v) table[v] = 255;

    for (std::int64_t i = 0; i < 3 * n && c == 3; ++i)
        colorBuffer[i] = colorChannel(colorBuffer[i], grayBuffer[i / 3], table[grayBuffer[i / 3]]);
    for (std::int64_t i = 0; i < n && c == 1; ++i) grayBuffer[i] = std::uint8_t(table[grayBuffer[i]]);
}

void applyBlur(std::uint8_t* pixels, int width, int height, int components, int radius, BlurMode mode) {
    if (mode == BlurMode::None) return;
    const int stride = width * components;
    std::vector<std::uint8_t> result(std::size_t(stride) * height),
        window(std::size_t(2 * radius + 1) * (2 * radius + 1));
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            const int x0 = std::max(x - radius, 0), x1 = std::min(x + radius, width - 1);
            const int y0 = std::max(y - radius, 0), y1 = std::min(y + radius, height - 1);
            const int m = (x1 - x0 + 1) * (y1 - y0 + 1);
            if (components == 1 && mode == BlurMode::Median) {
                int count = 0;
                for (int wx = x0; wx <= x1; ++wx)
                    for (int wy = y0; wy <= y1; ++wy) window[count++] = pixels[wy * stride + wx];
                std::nth_element(window.begin(), window.begin() + m / 2, window.begin() + m,
                                 std::greater<>());
                result[y * stride + x] = window[m / 2];
                continue;
            }
            for (int k = 0; k < components; ++k) {
                int sum = 0;
                for (int wy = y0; wy <= y1; ++wy)
                    for (int wx = x0; wx <= x1; ++wx) sum += pixels[wy * stride + wx * components + k];
                result[y * stride + x * components + k] = std::uint8_t(sum / m);
            }
        }
    }
    std::memcpy(pixels, result.data(), result.size());
}

}  // namespace pagewash::reference
