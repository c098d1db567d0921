#pragma once
// The steps of the tone correction taken apart, so that the image worker can run them a scanline at a time
// while decoding and encoding (see tone_correction.h for the whole-image form). Internal to imaging/.
// Pure functions of their arguments; thread-safe.

#include <cstdint>

#include "imaging/histogram_counter.h"
#include "imaging/pixel_kernels.h"
#include "imaging/tone_correction.h"
#include "settings/correction_settings.h"

namespace pagewash {

// What CorrectTones does to an image of a given component count.
struct TonePlan {
    bool changesImage = false;  // false: the image stays as it is (None or unknown modes, 2 or 4 components)
    bool toGray = false;        // 3 components in, 1 out
    bool yellowing = false;     // gray values by the yellowing removal rather than the luminance
    bool levels = false;        // a tone table is applied (to gray values, or through the colour map)
    bool automatic = false;     // the table comes from the histogram of the gray values
    int componentsOut = 0;      // 1 or 3 when changesImage
};

TonePlan planTones(const CorrectionSettings& settings, int components);

// The table of the levels. REQUIRES: plan.levels. `hist` (the histogram of all pixelCount gray values) is
// read only when plan.automatic.
ToneTable toneTable(const TonePlan& plan, const CorrectionSettings& settings, const Histogram& hist,
                    std::int64_t pixelCount);

// The colour correction of a table: its map, in both forms that applyColorMap uses.
void buildColorCorrection(const ToneTable& table, kernels::ColorCorrection& correction);

// Gray values of count colour pixels, counted into `counter` when it is given, a slice at a time so that
// the counting reads them while they are still in the cache.
void convertToGray(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count, bool yellowing,
                   HistogramCounter* counter);

}  // namespace pagewash
