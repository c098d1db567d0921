#pragma once
// One row of the average blur by running totals, in the vector forms that need their own instruction sets.
// Internal to imaging/ (average_blur.cpp drives them). Thread-safe on distinct images.
//
// For every row the column sums (over the window's rows) are brought up to date, each row's running totals
// of them per channel are formed, and every window sum is the difference of two totals. The totals wrap
// modulo 2^32; their differences, the window sums, stay far below it.

#include <cstddef>
#include <cstdint>

#include "imaging/vector_level.h"

namespace pagewash {

// The working state shared by the rows of one image; the driver owns every buffer.
struct AverageRows {
    std::size_t channels;       // 1 or 3
    std::size_t rowLength;      // samples per row
    std::size_t ahead;          // samples from a sample to the last column of its window (rx columns)
    std::size_t interiorBegin;  // samples [interiorBegin, interiorEnd) have unclipped windows along the row
    std::size_t interiorEnd;
    std::uint16_t* columnSums;         // rowLength sums over the window's rows (at most 257 samples each)
    std::uint32_t* totals;             // rowLength running totals of the current row, with room before
                                       // (zeros) and `ahead` samples after it
    const std::uint32_t* last;         // the window of sample i sums to last[i] - beforeFirst[i]
    const std::uint32_t* beforeFirst;  //
    const float* inverse;              // 1 / m per sample of the current row
    float interiorInverse;             // 1 / m of the current row's unclipped windows
};

// One row: adds the entering row (none: nullptr) to the column sums, subtracts the leaving one (saved in
// `saved`) when `leave`, saves the input of `row` in `saved`, fills rows.totals and its padding after the
// row, and writes the row's results over `row`.
using AverageRowFunction = void(const AverageRows& rows, const std::uint8_t* entering, std::uint8_t* saved,
                                bool leave, std::uint8_t* row);

#if defined(__x86_64__)
namespace avx512 {
// REQUIRES: processorVectorLevel() >= VectorLevel::Avx512.
AverageRowFunction averageRow;
}  // namespace avx512

namespace avx2 {
// REQUIRES: processorVectorLevel() >= VectorLevel::Avx2.
AverageRowFunction averageRow;
}  // namespace avx2
#endif

}  // namespace pagewash
