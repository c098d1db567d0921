#pragma once
// The nine integers that tell an image worker how to treat one page image.
// Free of any toolkit: used by every layer.

#include <cstdint>

namespace pagewash {

// Values are the position of the selected button within its radio group.
enum class ColorMode : std::int32_t { None = 0, Auto = 1, YellowingRemoval = 2, Grayscale = 3, Manual = 4 };
enum class GrayMode : std::int32_t { None = 0, Auto = 1, Manual = 2 };
enum class BlurMode : std::int32_t { None = 0, Average = 1, Median = 2 };

// The two colour modes that turn colour images gray (and their dictionaries /DeviceGray).
constexpr bool turnsColorGray(ColorMode mode) {
    return mode == ColorMode::YellowingRemoval || mode == ColorMode::Grayscale;
}

// Exactly nine 32-bit signed integers in this order, nothing between or after them; copied as a whole.
// The initializers are the program's defaults. Mode numbers and words: setting_words.h.
// Modes are kept as plain integers (the exchange may read -1 from a radio group with no selection);
// use the accessors below to compare them with the enumerations.
struct CorrectionSettings {
    std::int32_t colorMode = 2;     // ColorMode
    std::int32_t grayMode = 1;      // GrayMode
    std::int32_t colorBlack = 5;    // 0..100
    std::int32_t colorWhite = 85;   // 0..100
    std::int32_t grayBlack = 5;     // 0..100
    std::int32_t grayWhite = 85;    // 0..100
    std::int32_t compression = 40;  // the JPEG quality, 0..100
    std::int32_t blurStrength = 1;  // the blur radius, 1..10
    std::int32_t blurMode = 0;      // BlurMode

    ColorMode color() const { return static_cast<ColorMode>(colorMode); }
    GrayMode gray() const { return static_cast<GrayMode>(grayMode); }
    BlurMode blur() const { return static_cast<BlurMode>(blurMode); }

    friend bool operator==(const CorrectionSettings&, const CorrectionSettings&) = default;
};
static_assert(sizeof(CorrectionSettings) == 9 * sizeof(std::int32_t));

// The defaults, for every front end (the dialog's values, the command line's options).
inline constexpr CorrectionSettings kDefaultSettings{};

// Ranges a front end accepts for each value (the dialog's sliders; the command line's checks).
inline constexpr std::int32_t kReferenceMin = 0;
inline constexpr std::int32_t kReferenceMax = 100;
inline constexpr std::int32_t kQualityMin = 0;
inline constexpr std::int32_t kQualityMax = 100;
inline constexpr std::int32_t kBlurStrengthMin = 1;
inline constexpr std::int32_t kBlurStrengthMax = 10;

}  // namespace pagewash
