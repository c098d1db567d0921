#pragma once
// The order of the image table and the check that its ranges fit the layout of the edited PDF.
// Batch thread.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/images/image_record.h"
#include "engine/pdf/refusal.h"

namespace pagewash {

// Ascending jpegOffset (a stable exchange sort).
void sortImageRecords(std::vector<ImageRecord>& records);

// After sorting: a refusal when a range [dictionaryOffset, jpegEnd) leaves the file or overlaps the next.
Result<Done> checkImageRanges(std::span<const std::uint8_t> buffer, const std::vector<ImageRecord>& records);

}  // namespace pagewash
