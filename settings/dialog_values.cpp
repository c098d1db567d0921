#include "settings/dialog_values.h"

namespace pagewash {

ReferencePair colorPair(DialogValues& values) {
    return {values.colorBlack, values.colorWhite, values.colorBlackBox, values.colorWhiteBox};
}

ReferencePair grayPair(DialogValues& values) {
    return {values.grayBlack, values.grayWhite, values.grayBlackBox, values.grayWhiteBox};
}

CorrectionSettings takeSettings(const DialogValues& values) {
    CorrectionSettings settings;
    settings.colorMode = values.colorMode;
    settings.grayMode = values.grayMode;
    settings.colorBlack = values.colorBlack;
    settings.colorWhite = values.colorWhite;
    settings.grayBlack = values.grayBlack;
    settings.grayWhite = values.grayWhite;
    settings.compression = values.compression;
    settings.blurStrength = values.blurStrength;
    settings.blurMode = values.blurMode;
    return settings;
}

void copySlidersToBoxes(DialogValues& values) {
    values.colorBlackBox = values.colorBlack;
    values.colorWhiteBox = values.colorWhite;
    values.grayBlackBox = values.grayBlack;
    values.grayWhiteBox = values.grayWhite;
    values.compressionBox = values.compression;
    values.blurStrengthBox = values.blurStrength;
}

void copyBoxesToSliders(DialogValues& values) {
    values.colorBlack = values.colorBlackBox;
    values.colorWhite = values.colorWhiteBox;
    values.grayBlack = values.grayBlackBox;
    values.grayWhite = values.grayWhiteBox;
    values.compression = values.compressionBox;
    values.blurStrength = values.blurStrengthBox;
}

// The moved reference wins: the other one is pushed away from it, within 0..100.
void enforceAfterBlackMove(ReferencePair pair) {
    if (pair.black < pair.white) return;
    pair.white = pair.black + 1;
    if (pair.white > kReferenceMax) pair.white = kReferenceMax;
    pair.whiteBox = pair.white;
}

void enforceAfterWhiteMove(ReferencePair pair) {
    if (pair.black < pair.white) return;
    pair.black = pair.white - 1;
    if (pair.black < kReferenceMin) pair.black = kReferenceMin;
    pair.blackBox = pair.black;
}

}  // namespace pagewash
