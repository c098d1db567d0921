#pragma once
// Synthetic images for comparing the fast image code with its reference: noise, few levels (many ties),
// and page-like images (paper, ink strokes, a yellowish tint) whose histograms reach the automatic levels'
// interesting cases.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace pagewash::testing {

enum class Pattern { Noise, FewLevels, Page, DarkPage };

inline const char* patternName(Pattern pattern) {
    switch (pattern) {
        case Pattern::Noise:
            return "noise";
        case Pattern::FewLevels:
            return "few levels";
        case Pattern::Page:
            return "page";
        case Pattern::DarkPage:
            return "dark page";
    }
    return "?";
}

inline std::vector<std::uint8_t> makeImage(int width, int height, int components, Pattern pattern,
                                           std::uint32_t seed) {
    std::mt19937 rng(seed);
    const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> image(pixelCount * static_cast<std::size_t>(components));
    auto byte = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    std::uniform_int_distribution<int> any(0, 255);
    const int paper = std::uniform_int_distribution<int>(205, 250)(rng);
    const int tint = std::uniform_int_distribution<int>(0, 40)(rng);
    const int ink = std::uniform_int_distribution<int>(0, 60)(rng);
    const double inkShare = std::uniform_real_distribution<double>(0.0, 0.08)(rng);
    std::normal_distribution<double> grain(0.0, 3.0);
    std::bernoulli_distribution isInk(inkShare);
    const int levels[] = {0, 17, 200, 201, 255};
    std::uniform_int_distribution<int> pick(0, 4);
    for (std::size_t i = 0; i < pixelCount; ++i) {
        for (int k = 0; k < components; ++k) {
            int v = 0;
            switch (pattern) {
                case Pattern::Noise:
                    v = any(rng);
                    break;
                case Pattern::FewLevels:
                    v = levels[pick(rng)];
                    break;
                case Pattern::Page:
                case Pattern::DarkPage: {
                    const int base = pattern == Pattern::DarkPage ? paper / 3 : paper;
                    v = isInk(rng) ? ink : base - (k == 2 ? tint : k == 1 ? tint / 3 : 0);
                    v += static_cast<int>(grain(rng));
                    break;
                }
            }
            image[i * static_cast<std::size_t>(components) + static_cast<std::size_t>(k)] = byte(v);
        }
    }
    return image;
}

// "" when equal, else where the first difference is.
inline std::string firstDifference(const std::vector<std::uint8_t>& expected,
                                   const std::vector<std::uint8_t>& actual, int width, int components) {
    if (expected.size() != actual.size()) return "sizes differ";
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] != actual[i]) {
            const std::size_t pixel = i / static_cast<std::size_t>(components);
            return "first difference at pixel (" + std::to_string(pixel % static_cast<std::size_t>(width)) +
                   ", " + std::to_string(pixel / static_cast<std::size_t>(width)) + ") channel " +
                   std::to_string(i % static_cast<std::size_t>(components)) + ": expected " +
                   std::to_string(expected[i]) + ", got " + std::to_string(actual[i]);
        }
    }
    return "";
}

}  // namespace pagewash::testing
