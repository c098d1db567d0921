#pragma once
// The dialog's fifteen integers: the nine settings and six mirrors shown in read-only number boxes,
// with the rules that keep each black reference below its white reference.
//
// Thread-safety: a plain value, read and written on the user-interface thread only. The batch run gets
// its settings through its front end, which takes the snapshot on that thread.

#include <cstdint>

#include "settings/correction_settings.h"

namespace pagewash {

// Each value and its mirror start at the setting's default.
struct DialogValues {
    std::int32_t colorMode = kDefaultSettings.colorMode;
    std::int32_t grayMode = kDefaultSettings.grayMode;
    std::int32_t colorBlack = kDefaultSettings.colorBlack;
    std::int32_t colorWhite = kDefaultSettings.colorWhite;
    std::int32_t grayBlack = kDefaultSettings.grayBlack;
    std::int32_t grayWhite = kDefaultSettings.grayWhite;
    std::int32_t colorBlackBox = kDefaultSettings.colorBlack;
    std::int32_t colorWhiteBox = kDefaultSettings.colorWhite;
    std::int32_t grayBlackBox = kDefaultSettings.grayBlack;
    std::int32_t grayWhiteBox = kDefaultSettings.grayWhite;
    std::int32_t compressionBox = kDefaultSettings.compression;
    std::int32_t compression = kDefaultSettings.compression;
    std::int32_t blurStrengthBox = kDefaultSettings.blurStrength;
    std::int32_t blurStrength = kDefaultSettings.blurStrength;
    std::int32_t blurMode = kDefaultSettings.blurMode;
};

// One black/white reference pair with its two mirrors, as references into DialogValues.
struct ReferencePair {
    std::int32_t& black;
    std::int32_t& white;
    std::int32_t& blackBox;
    std::int32_t& whiteBox;
};
ReferencePair colorPair(DialogValues& values);
ReferencePair grayPair(DialogValues& values);

// The nine settings (slider values, never the mirrors).
CorrectionSettings takeSettings(const DialogValues& values);

void copySlidersToBoxes(DialogValues& values);
void copyBoxesToSliders(DialogValues& values);

// After the pair's black slider moved: if black >= white, white := min(black + 1, 100), whiteBox := white.
void enforceAfterBlackMove(ReferencePair pair);
// After the pair's white slider moved: if black >= white, black := max(white - 1, 0), blackBox := black.
void enforceAfterWhiteMove(ReferencePair pair);

}  // namespace pagewash
