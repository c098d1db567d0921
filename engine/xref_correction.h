#pragma once
// Keeps an edited PDF readable: once image streams change length, every byte offset that the input's
// cross-reference data gives (classic xref sections, trailers' /Prev and /XRefStm, startxref,
// cross-reference streams, hybrid and linearized files) must be shifted. This plans those corrections
// as byte splices on the input, from the map of image ranges alone, without parsing the objects.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/byte_splice.h"

namespace pagewash {

struct XrefCorrection {
    // Sorted, non-overlapping, outside every image range; hand them to writeEditedPdf.
    std::vector<ByteSplice> patches;
    // Cross-reference data that could not be understood (the output is then written as laid out and
    // readers reconstruct it), a signature the edit invalidates, and the like. Empty when all is well.
    std::vector<std::string> warnings;
    bool hasSignature = false;  // the file carries a /ByteRange
};

// input: the whole input PDF. imageRanges: sorted, non-overlapping (plannedImageReplacements).
XrefCorrection planXrefCorrection(std::span<const std::uint8_t> input,
                                  std::span<const ReplacedRange> imageRanges);

}  // namespace pagewash
