#pragma once
// The stream encoding of cross-reference streams: zlib (FlateDecode) and the predictors of
// /DecodeParms (TIFF predictor 2 and the PNG predictors 10 to 15). Stateless; safe on any thread.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/pdf/refusal.h"

namespace pagewash {

// Inflates a zlib stream. Refuses data that is not a complete zlib stream or would inflate to more
// than `maxOutput` bytes; the refusal's offset counts from the start of `data` (-1 when the inflater
// itself could not start). Bytes after the end of the zlib stream are ignored, as readers do.
Result<std::vector<std::uint8_t>> inflateZlib(std::span<const std::uint8_t> data, std::size_t maxOutput);

// Deflates into a zlib stream at the default level; the same input always gives the same bytes.
std::vector<std::uint8_t> deflateZlib(std::span<const std::uint8_t> data);

struct PredictorParameters {
    std::int64_t predictor = 1;  // 1: none; 2: TIFF; 10..15: PNG (each row tagged with its filter)
    std::int64_t colors = 1;
    std::int64_t bitsPerComponent = 8;
    std::int64_t columns = 1;

    // Bytes of one row of samples (without the PNG filter byte).
    std::int64_t rowBytes() const { return (colors * bitsPerComponent * columns + 7) / 8; }
    // Bytes to the left that a PNG filter looks at (at least 1).
    std::int64_t bytesPerPixel() const {
        const std::int64_t bits = colors * bitsPerComponent;
        return bits < 8 ? 1 : bits / 8;
    }
    // True for the parameters these functions handle.
    bool isSupported() const;
};

// Undoes the predictor: returns the plain rows. Refuses an incomplete last row, an unknown PNG
// filter, and parameters that are not supported (offset -1: the fault is not in `data`); the
// refusal's offset counts from the start of `data`.
Result<std::vector<std::uint8_t>> removePredictor(std::span<const std::uint8_t> data,
                                                  const PredictorParameters& parameters);

// Applies the predictor to plain rows (whose length is a multiple of rowBytes()). PNG predictors
// tag every row with the Up filter, which readers of any predictor value 10..15 accept.
std::vector<std::uint8_t> applyPredictor(std::span<const std::uint8_t> rows,
                                         const PredictorParameters& parameters);

}  // namespace pagewash
