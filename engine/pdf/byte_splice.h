#pragma once
// How an edited PDF differs from its input: a sorted list of input ranges, each replaced by new bytes.
// Every byte outside these ranges is copied from the input in its place and order, so an input offset
// outside the ranges maps to an output offset by a monotone shift.

#include <cstdint>
#include <string>

namespace pagewash {

// The input range [inputBegin, inputEnd) became outputLength bytes in the output.
struct ReplacedRange {
    std::int64_t inputBegin = 0;
    std::int64_t inputEnd = 0;
    std::int64_t outputLength = 0;

    friend bool operator==(const ReplacedRange&, const ReplacedRange&) = default;
};

// A replacement whose new bytes are known in advance (the cross-reference corrections).
struct ByteSplice {
    std::int64_t inputBegin = 0;
    std::int64_t inputEnd = 0;
    std::string bytes;

    ReplacedRange range() const { return {inputBegin, inputEnd, static_cast<std::int64_t>(bytes.size())}; }
};

}  // namespace pagewash
