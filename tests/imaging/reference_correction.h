#pragma once
// The tone correction and the blur straight from their definitions, which the fast code must match bit for
// bit (double arithmetic per pixel, the 101-entry black table, direct clipped windows, the median as the
// middle value of the window sorted); synthetic images; the first differing pixel; a loop over the Highway
// targets.

#include <hwy/targets.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "settings/correction_settings.h"

namespace pagewash::reference {

std::uint8_t luminance(int r, int g, int b);
// A colour channel of a pixel whose gray value g the levels send to t.
std::uint8_t colorChannel(int channel, int g, int t);

void correctTones(std::uint8_t* grayBuffer, const CorrectionSettings& settings, std::uint8_t* colorBuffer,
                  std::int64_t pixelCount, int components);

void applyBlur(std::uint8_t* pixels, int width, int height, int components, int radius, BlurMode mode);

}  // namespace pagewash::reference

namespace pagewash::testing {

using Bytes = std::vector<std::uint8_t>;

// Noise, few levels (ties), and light and dark pages (paper, ink, a yellow tint) for the automatic levels.
enum class Pattern { Noise, FewLevels, Page, DarkPage };

inline Bytes makeImage(int width, int height, int components, Pattern pattern, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes image(std::size_t(width) * height * components);
    const int paper =
        std::uniform_int_distribution<int>(205, 250)(rng) / (pattern == Pattern::DarkPage ? 3 : 1);
    const int tint = std::uniform_int_distribution<int>(0, 40)(rng),
              ink = std::uniform_int_distribution<int>(0, 60)(rng);
    std::bernoulli_distribution isInk(std::uniform_real_distribution<double>(0.0, 0.08)(rng));
    std::normal_distribution<double> grain(0.0, 3.0);
    const int levels[] = {0, 17, 200, 201, 255};
    for (std::size_t i = 0; i < image.size(); ++i) {
        const int k = int(i % components), few = levels[rng() % 5];
        const int v = pattern == Pattern::FewLevels ? few
                      : pattern == Pattern::Noise
                          ? int(rng() & 255)
                          : (isInk(rng) ? ink : paper - tint * (k == 2 ? 3 : k) / 3) + int(grain(rng));
        image[i] = std::uint8_t(std::clamp(v, 0, 255));
    }
    return image;
}

// "" when equal, else where the first difference is.
inline std::string firstDifference(const Bytes& expected, const Bytes& actual, int width, int components) {
    if (expected.size() != actual.size()) return "sizes differ";
    const auto at = std::mismatch(expected.begin(), expected.end(), actual.begin()).first - expected.begin();
    if (at == std::ssize(expected)) return "";
    const auto pixel = at / components;
    return "first difference at pixel (" + std::to_string(pixel % width) + ", " +
           std::to_string(pixel / width) + ") channel " + std::to_string(at % components) + ": expected " +
           std::to_string(expected[at]) + ", got " + std::to_string(actual[at]);
}

// Runs check(targetName) at each target Highway generated that this processor runs, then restores dispatch.
template <typename Check>
void forEachTarget(Check check) {
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        check(hwy::TargetName(target));
    }
    hwy::SetSupportedTargetsForTest(0);
}

}  // namespace pagewash::testing
