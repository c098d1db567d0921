#pragma once
// The settings as the front ends name them, said once: each mode's number (the value CorrectionSettings
// stores, and the position of its radio button in the dialog's group) with its command-line word, and
// each setting's option with its range. Defaults are kDefaultSettings. The dialog's radio groups, the
// command line (and through its help the man page and the completion) follow this table; the tests hold
// them to it.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "settings/correction_settings.h"

namespace pagewash {

// One value of a mode.
struct ModeChoice {
    std::int32_t number;    // stored in CorrectionSettings; the radio button's position in its group
    std::string_view word;  // its command-line word
};

inline constexpr ModeChoice kColorModeChoices[] = {
    {static_cast<std::int32_t>(ColorMode::None), "none"},
    {static_cast<std::int32_t>(ColorMode::Auto), "auto"},
    {static_cast<std::int32_t>(ColorMode::YellowingRemoval), "yellowing"},
    {static_cast<std::int32_t>(ColorMode::Grayscale), "gray"},
    {static_cast<std::int32_t>(ColorMode::Manual), "manual"},
};
inline constexpr ModeChoice kGrayModeChoices[] = {
    {static_cast<std::int32_t>(GrayMode::None), "none"},
    {static_cast<std::int32_t>(GrayMode::Auto), "auto"},
    {static_cast<std::int32_t>(GrayMode::Manual), "manual"},
};
inline constexpr ModeChoice kBlurModeChoices[] = {
    {static_cast<std::int32_t>(BlurMode::None), "none"},
    {static_cast<std::int32_t>(BlurMode::Average), "average"},
    {static_cast<std::int32_t>(BlurMode::Median), "median"},
};

// A setting chosen among named values (a radio group in the dialog).
struct ModeSetting {
    std::string_view option;                  // the command-line option, without its dashes
    std::int32_t CorrectionSettings::*field;  // where the number goes
    std::span<const ModeChoice> choices;      // in number order: choices[n].number == n
};

// A setting given as a number (a slider in the dialog).
struct NumberSetting {
    std::string_view option;
    std::int32_t CorrectionSettings::*field;
    std::int32_t min;
    std::int32_t max;
};

inline constexpr ModeSetting kColorModeSetting{"color-mode", &CorrectionSettings::colorMode,
                                               kColorModeChoices};
inline constexpr ModeSetting kGrayModeSetting{"gray-mode", &CorrectionSettings::grayMode, kGrayModeChoices};
inline constexpr ModeSetting kBlurModeSetting{"blur", &CorrectionSettings::blurMode, kBlurModeChoices};

inline constexpr NumberSetting kColorBlackSetting{"color-black", &CorrectionSettings::colorBlack,
                                                  kReferenceMin, kReferenceMax};
inline constexpr NumberSetting kColorWhiteSetting{"color-white", &CorrectionSettings::colorWhite,
                                                  kReferenceMin, kReferenceMax};
inline constexpr NumberSetting kGrayBlackSetting{"gray-black", &CorrectionSettings::grayBlack, kReferenceMin,
                                                 kReferenceMax};
inline constexpr NumberSetting kGrayWhiteSetting{"gray-white", &CorrectionSettings::grayWhite, kReferenceMin,
                                                 kReferenceMax};
// The JPEG quality, kept in the field the dialog calls its compression rate.
inline constexpr NumberSetting kQualitySetting{"quality", &CorrectionSettings::compression, kQualityMin,
                                               kQualityMax};
inline constexpr NumberSetting kBlurStrengthSetting{"blur-strength", &CorrectionSettings::blurStrength,
                                                    kBlurStrengthMin, kBlurStrengthMax};

// The number of `word`, or nothing for a word the setting does not know.
std::optional<std::int32_t> modeNumber(const ModeSetting& setting, std::string_view word);
// The word of the setting's default (kDefaultSettings).
std::string_view defaultWord(const ModeSetting& setting);

}  // namespace pagewash
