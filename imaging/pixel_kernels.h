#pragma once
// Per-pixel loops of the tone correction, kept apart so that they can be vectorised and tested alone.
// Internal to imaging/. Every function works only on the buffers it is given: thread-safe on distinct
// buffers. Results are bit-exact with the double-precision definitions (see tone_correction.h).

#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/tone_correction.h"

namespace pagewash::kernels {

// Output byte of one colour channel, indexed [luminance][channel]; built once per image.
using ColorMap = std::array<std::array<std::uint8_t, 256>, 256>;

// The colour correction of one image, as a table and as integer arithmetic (built by buildColorCorrection).
// Per luminance g the arithmetic form is scaledChannel(ch, flip[g], white[g], ratio[g]); rows of the map
// that the arithmetic misses somewhere (the double formula lands just below an integer) are marked
// `irregular`, and the loops take those pixels from the map.
struct ColorCorrection {
    ColorMap map;
    unsigned whiteFrom = 256;  // from this luminance on every row of the map is all 255 (256: none)
    std::array<std::uint8_t, 256> flip{};       // 0xFF: lightened row, else 0
    std::array<std::uint8_t, 256> white{};      // 0xFF: the row is all 255, else 0
    std::array<std::uint8_t, 256> ratioLow{};   // the 16-bit ratio, low byte
    std::array<std::uint8_t, 256> ratioHigh{};  // and high byte
    std::array<std::uint8_t, 256> irregular{};  // 0xFF: take the row from the map
};

// A darkened row gives floor(ch * ratio / 2^16); a lightened row (flip 0xFF) keeps the channel and adds
// floor((255 - ch) * ratio / 2^16), a part of its distance from white; a white row (white 0xFF, ratio 0)
// gives 255. 255 - ch is ch XOR 0xFF.
inline std::uint8_t scaledChannel(std::uint8_t ch, std::uint8_t flip, std::uint8_t white,
                                  std::uint16_t ratio) {
    const std::uint32_t x = static_cast<std::uint8_t>(ch ^ flip);
    const std::uint32_t base = static_cast<std::uint8_t>((ch & flip) | white);
    return static_cast<std::uint8_t>(base + ((x * ratio) >> 16));
}

// The luminance of a pixel, computed in integers. 2 * 10^6 times the weights are integers, so the exact
// weighted sum is x / (2 * 10^6) with x below 2^29. The double formula truncates that exactly, except
// for the two colours (66, 142, 157) and (172, 42, 183): their exact sum is an integer but the double sum
// falls one ulp below it. Subtracting one (half a millionth) whenever R is 66 or 172 reproduces them
// and cannot move any other colour across an integer. The division by 2 * 10^6 is a shift by 7 and a
// float multiplication by 1 / 15625, exact for every x below 2^29. The test checks all 2^24 colours.
inline std::uint8_t fastLuminance(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    const std::uint32_t x = 597824u * r + 1173222u * g + 228956u * b - ((r == 66u) | (r == 172u));
    return static_cast<std::uint8_t>(
        static_cast<std::int32_t>(static_cast<float>(static_cast<std::int32_t>(x >> 7)) * (1.0f / 15625.0f)));
}

// Each loop runs the widest form that Highway's dispatch picks for this processor; all forms give the same
// bytes.

// gray[i] = luminance of rgb[3i .. 3i + 2].
void luminanceRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count);

// gray[i] = y when y < 16, else y + min(spread, 255 - y); y the luminance, spread the largest difference
// between two channels.
void yellowingGrayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count);

// gray[i] = table[gray[i]].
void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table);

// rgb[3i + k] = correction.map[gray[i]][rgb[3i + k]] for k = 0, 1, 2.
void applyColorMap(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                   const ColorCorrection& correction);

}  // namespace pagewash::kernels
