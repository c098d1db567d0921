#pragma once
// Numeric ids of the dialog's controls. The dialog addresses its controls by id (enabling, the
// exchange, the layout table) and maps each id to its widget.

#include <iterator>

#include "settings/setting_words.h"

namespace pagewash::control {

inline constexpr int kFileList = 1001;
inline constexpr int kBleachButton = 1005;
inline constexpr int kColorNone = 1006;
inline constexpr int kColorGrayscale = 1007;
inline constexpr int kColorAuto = 1008;
inline constexpr int kColorBlackSlider = 1009;
inline constexpr int kColorWhiteSlider = 1010;
inline constexpr int kGrayAuto = 1011;
inline constexpr int kGrayManual = 1012;
inline constexpr int kGrayBlackSlider = 1013;
inline constexpr int kGrayWhiteSlider = 1014;
inline constexpr int kColorManual = 1015;
inline constexpr int kGrayNone = 1016;
inline constexpr int kGrayWhiteBox = 1017;
inline constexpr int kGrayBlackBox = 1018;
inline constexpr int kColorWhiteBox = 1019;
inline constexpr int kColorBlackBox = 1020;
inline constexpr int kCompressionBox = 1021;
inline constexpr int kCompressionSlider = 1022;
inline constexpr int kColorYellowing = 1023;
inline constexpr int kProgressBox = 1024;
inline constexpr int kBlurStrengthBox = 1028;
inline constexpr int kBlurStrengthSlider = 1029;
inline constexpr int kBlurNone = 1030;
inline constexpr int kBlurAverage = 1031;
inline constexpr int kBlurMedian = 1032;

// The radio buttons of each mode in the order of the mode's numbers (settings/setting_words.h): the
// dialog reads a mode as the position of the selected button in its group, so the template lists each
// group's buttons in this order (dialog_template.cpp checks it).
inline constexpr int kColorModeRadios[] = {kColorNone, kColorAuto, kColorYellowing, kColorGrayscale,
                                           kColorManual};
inline constexpr int kGrayModeRadios[] = {kGrayNone, kGrayAuto, kGrayManual};
inline constexpr int kBlurModeRadios[] = {kBlurNone, kBlurAverage, kBlurMedian};
static_assert(std::size(kColorModeRadios) == std::size(kColorModeChoices) &&
              std::size(kGrayModeRadios) == std::size(kGrayModeChoices) &&
              std::size(kBlurModeRadios) == std::size(kBlurModeChoices));

// The controls a run locks, in the order it disables (and later enables) them.
inline constexpr int kModeButtons[] = {kColorNone, kColorGrayscale, kColorAuto,  kColorManual,
                                       kGrayNone,  kGrayAuto,       kGrayManual, kColorYellowing};

}  // namespace pagewash::control
