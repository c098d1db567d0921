#pragma once
// Keeps an edited PDF readable: once image streams change length, every byte offset that the input's
// cross-reference data gives (classic xref sections, trailers' /Prev and /XRefStm, startxref,
// cross-reference streams, hybrid and linearized files) must be shifted. This plans those corrections
// as byte splices on the input, from the map of image ranges alone, without parsing the objects.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pdf/byte_splice.h"

namespace pagewash {

// The warning for a linearized file that the edit turns into an ordinary one.
inline constexpr std::string_view kLinearizationLost =
    "the file was linearized for Fast Web View; the edited file opens as an ordinary PDF";

struct XrefCorrection {
    // Sorted, non-overlapping, outside every image range; hand them to writeEditedPdf.
    std::vector<ByteSplice> patches;
    // Cross-reference data that could not be understood (the output is then written as laid out and
    // readers reconstruct it), a signature the edit invalidates, and the like. Empty when all is well.
    // Each says what and where ("the cross-reference table at byte 48213 has a malformed entry ...")
    // but not which file: the caller puts the path in front.
    std::vector<std::string> warnings;
    bool hasSignature = false;  // the file carries a /ByteRange
};

// input: the whole input PDF. imageRanges: sorted, non-overlapping (plannedImageReplacements).
// Reads only `input`; pure and safe on any thread. A linearized file keeps exact hint tables when they
// follow its objects; otherwise its /L no longer matches, and readers open it as an ordinary file
// (a warning says so).
XrefCorrection planXrefCorrection(std::span<const std::uint8_t> input,
                                  std::span<const ReplacedRange> imageRanges);

}  // namespace pagewash
