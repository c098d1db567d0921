#include "imaging/tone_correction.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "imaging/pixel_kernels.h"
#include "imaging/tone_plan.h"

namespace pagewash {

namespace {

constexpr std::int64_t kShareScale = 1000000;  // levelShare is in millionths of the pixel count
constexpr int kBlackCap = 50;
constexpr int kWhiteSearchFirst = 220;
constexpr int kWhiteSearchLast = 253;
constexpr double kWhiteStep = 9.0;

struct Levels {
    int black;
    int white;
};

// Slider value 0..100 to level 0..255. Out-of-range references are held to the slider's range so that the
// table below always stays within 0..255.
int manualLevel(std::int32_t reference) {
    return std::clamp(reference, kReferenceMin, kReferenceMax) * 255 / 100;
}

Levels manualLevels(std::int32_t blackReference, std::int32_t whiteReference) {
    return {manualLevel(blackReference), manualLevel(whiteReference)};
}

// Black and white levels found in the histogram of the gray image.
Levels automaticLevels(const Histogram& hist, std::int64_t pixelCount) {
    // trunc(hist * 10^6 / n) in exact integers; the double quotient of the definition truncates to the
    // same value because the exact quotient is at least 1/n away from the next integer.
    std::array<std::int64_t, 256> levelShare{};
    for (std::size_t v = 0; v < 256; ++v) {
        levelShare[v] = static_cast<std::int64_t>(hist[v]) * kShareScale / pixelCount;
    }

    // Black: the highest level whose cumulative share, times 100 and divided by the pixel count, is still 0.
    // The cumulative share never decreases, so that is the last level of the leading run of rank 0. When
    // already level 0 has rank 1 or more, no level qualifies and the black level is 0.
    int lowest = 0;
    std::int64_t cumulative = 0;
    for (int v = 0; v < 256; ++v) {
        cumulative += levelShare[static_cast<std::size_t>(v)];
        if (cumulative * 100 / pixelCount != 0) break;
        lowest = v;
    }
    const int black = std::min(lowest / 2, kBlackCap);

    // White: the first level from 221 up at which the square root of the share climbs by more than 9.0.
    int white = 255;
    for (int v = kWhiteSearchFirst; v <= kWhiteSearchLast; ++v) {
        const double step = std::sqrt(static_cast<double>(levelShare[static_cast<std::size_t>(v + 1)])) -
                            std::sqrt(static_cast<double>(levelShare[static_cast<std::size_t>(v)]));
        if (step > kWhiteStep) {
            white = v + 1;
            break;
        }
    }
    return {black, white};
}

// T[v] = 0 up to the black level, (v - B) * 255 / (Wt - B) between, 255 from the white level up, filled
// in that order so that the 255 entries win when B >= Wt (a threshold at Wt).
ToneTable buildToneTable(Levels levels) {
    ToneTable table{};
    const int b = levels.black;
    const int wt = levels.white;
    for (int v = 0; v < 256; ++v) {
        if (v <= b) {
            table[static_cast<std::size_t>(v)] = 0;
        } else if (v < wt) {
            table[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>((v - b) * 255 / (wt - b));
        }
    }
    for (int v = std::max(wt, 0); v < 256; ++v) table[static_cast<std::size_t>(v)] = 255;
    return table;
}

bool isKnownColorMode(ColorMode mode) {
    return mode == ColorMode::None || mode == ColorMode::Auto || mode == ColorMode::YellowingRemoval ||
           mode == ColorMode::Grayscale || mode == ColorMode::Manual;
}

}  // namespace

TonePlan planTones(const CorrectionSettings& settings, int components) {
    TonePlan plan;
    if (components == 3) {
        // A mode the settings layer does not know (a radio group with no selection) is treated as None.
        const ColorMode colorMode = settings.color();
        if (colorMode == ColorMode::None || !isKnownColorMode(colorMode)) return plan;
        plan.toGray = turnsColorGray(colorMode);
        plan.yellowing = colorMode == ColorMode::YellowingRemoval;
        plan.changesImage = true;
        plan.componentsOut = plan.toGray ? 1 : 3;
        if (!plan.toGray) {
            plan.levels = true;
            plan.automatic = colorMode == ColorMode::Auto;
            return plan;
        }
    } else if (components != 1) {
        return plan;
    }
    // One channel, as decoded or after the conversion to gray: the gray mode decides.
    const GrayMode grayMode = settings.gray();
    plan.levels = grayMode == GrayMode::Auto || grayMode == GrayMode::Manual;
    plan.automatic = grayMode == GrayMode::Auto;
    plan.changesImage = plan.changesImage || plan.levels;
    plan.componentsOut = 1;
    return plan;
}

ToneTable toneTable(const TonePlan& plan, const CorrectionSettings& settings, const Histogram& hist,
                    std::int64_t pixelCount) {
    if (plan.automatic) return buildToneTable(automaticLevels(hist, pixelCount));
    if (plan.componentsOut == 3)
        return buildToneTable(manualLevels(settings.colorBlack, settings.colorWhite));
    return buildToneTable(manualLevels(settings.grayBlack, settings.grayWhite));
}

namespace {

unsigned whiteFrom(const ToneTable& table) {
    // From this level on the table stays at 255, so t = 255 >= g: those pixels turn white.
    unsigned from = 256;
    while (from > 0 && table[from - 1] == 255) --from;
    return from;
}

// map[g][ch]: the new value of a channel ch of a pixel of luminance g, t = T[g]:
//   t < g:             trunc(ch * (t / g))                        (scaled toward black, hue kept)
//   t >= g, t = 255:   255
//   otherwise:         trunc(255 - (255 - ch) * ((255 - t) / (255 - g)))   (distance from white scaled)
// in double precision, as the per-pixel definition computes it.
void buildColorMap(const ToneTable& table, kernels::ColorMap& map) {
    for (int g = 0; g < 256; ++g) {
        const int t = table[static_cast<std::size_t>(g)];
        auto& row = map[static_cast<std::size_t>(g)];
        if (t < g) {
            const double ratio = static_cast<double>(t) / static_cast<double>(g);
            for (int ch = 0; ch < 256; ++ch) {
                row[static_cast<std::size_t>(ch)] = static_cast<std::uint8_t>(static_cast<int>(ch * ratio));
            }
        } else if (t == 255) {
            row.fill(255);
        } else {
            const double ratio = static_cast<double>(255 - t) / static_cast<double>(255 - g);
            for (int ch = 0; ch < 256; ++ch) {
                row[static_cast<std::size_t>(ch)] =
                    static_cast<std::uint8_t>(static_cast<int>(255.0 - (255 - ch) * ratio));
            }
        }
    }
}

// The rows of kernels::scaledChannel, with t = T[g]:
// - darkened (t < g): floor(ch * t / g) with R = ceil(t * 2^16 / g).
// - lightened (g <= t < 255): 255 - ceil((255 - ch) * (255 - t) / (255 - g)), which is
//   ch + floor((255 - ch) * (t - g) / (255 - g)) since ceil(a) = x - floor(x - a) for an integer x; with
//   R = ceil((t - g) * 2^16 / (255 - g)).
// - white (t = 255): 255.
// In both scaled forms the quotient is floor(x * s / d) with s < d and x <= 255, and R = ceil(s * 2^16 / d)
// <= 2^16 - 1. Then 0 <= x * R / 2^16 - x * s / d < x / 2^16 <= 255 / 2^16 < 1 / 255 <= 1 / d, while
// x * s / d lies at least 1 / d below the next integer: both have the same floor.
// These are the exact quotients; the double formula of the map differs from them for 2963 and 13 of the
// 256^3 (ch, g, t) triples, where its product falls just below an integer. Such rows stay with the map.
void buildColorArithmetic(const ToneTable& table, kernels::ColorCorrection& correction) {
    for (unsigned g = 0; g < 256; ++g) {
        const unsigned t = table[g];
        std::uint32_t ratio = 0;
        bool lightened = false, white = false;
        if (t < g) {
            ratio = (t * 65536u + g - 1) / g;
        } else if (t < 255) {
            lightened = true;
            ratio = ((t - g) * 65536u + (254 - g)) / (255 - g);
        } else {
            white = true;
        }
        const auto flip = static_cast<std::uint8_t>(lightened ? 0xFF : 0);
        const auto whiteRow = static_cast<std::uint8_t>(white ? 0xFF : 0);
        correction.flip[g] = flip;
        correction.white[g] = whiteRow;
        correction.ratioLow[g] = static_cast<std::uint8_t>(ratio & 0xFF);
        correction.ratioHigh[g] = static_cast<std::uint8_t>(ratio >> 8);
        bool regular = true;
        for (unsigned ch = 0; ch < 256; ++ch) {
            regular &= kernels::scaledChannel(static_cast<std::uint8_t>(ch), flip, whiteRow,
                                              static_cast<std::uint16_t>(ratio)) == correction.map[g][ch];
        }
        correction.irregular[g] = static_cast<std::uint8_t>(regular ? 0 : 0xFF);
    }
}

}  // namespace

void buildColorCorrection(const ToneTable& table, kernels::ColorCorrection& correction) {
    buildColorMap(table, correction.map);
    correction.whiteFrom = whiteFrom(table);
    buildColorArithmetic(table, correction);
}

void convertToGray(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count, bool yellowing,
                   HistogramCounter* counter) {
    constexpr std::size_t kSlice = 16384;
    for (std::size_t start = 0; start < count; start += kSlice) {
        const std::size_t n = std::min(kSlice, count - start);
        if (yellowing) {
            kernels::yellowingGrayRow(rgb + 3 * start, gray + start, n);
        } else {
            kernels::luminanceRow(rgb + 3 * start, gray + start, n);
        }
        if (counter != nullptr) counter->add(gray + start, n);
    }
}

std::uint8_t luminance(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return kernels::fastLuminance(r, g, b);
}

void CorrectTones(std::uint8_t* grayBuffer, const CorrectionSettings& settings, std::uint8_t* colorBuffer,
                  std::int64_t pixelCount, int components) {
    if (pixelCount <= 0 || grayBuffer == nullptr) return;
    if (components == 3 && colorBuffer == nullptr) return;
    const TonePlan plan = planTones(settings, components);
    if (!plan.changesImage) return;
    const auto count = static_cast<std::size_t>(pixelCount);
    HistogramCounter counter(plan.automatic ? count : 0);
    HistogramCounter* const histogram = plan.automatic ? &counter : nullptr;
    if (components == 3) {
        convertToGray(colorBuffer, grayBuffer, count, plan.yellowing, histogram);
    } else if (histogram != nullptr) {
        histogram->add(grayBuffer, count);
    }
    if (!plan.levels) return;  // converted to gray; the gray mode None leaves it so
    const ToneTable table = toneTable(plan, settings, counter.total(), pixelCount);
    if (plan.componentsOut == 1) {
        kernels::applyToneTable(grayBuffer, count, table);
    } else {
        // 65 KiB on the caller's stack; no heap, as for the other tables.
        kernels::ColorCorrection correction;
        buildColorCorrection(table, correction);
        kernels::applyColorMap(colorBuffer, grayBuffer, count, correction);
    }
}

}  // namespace pagewash
