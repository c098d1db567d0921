#pragma once
// The update that carries the layers of the pages stored as mixed raster content (--mrc): their objects,
// read back from the pages' temporary files, appended after the edited file as update_section.h lays it
// out. Batch thread; no shared state.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/images/image_record.h"
#include "engine/images/mixed_objects.h"
#include "engine/pdf/byte_splice.h"
#include "engine/xref/update_section.h"

namespace pagewash {

// The numbers of the objects of each MakeMixed record, in the order of the records, from the last /Size
// up: the background, the mask and, when there is an ink image, the ink image. Empty numbers for the
// other records.
std::vector<MixedNumbers> mixedNumbers(const std::vector<ImageRecord>& records, std::int64_t firstNumber);

// The bytes to append after the file writeEditedPdf wrote from `buffer` (`written`: the ranges it
// replaced); empty when no record is MakeMixed. names[r]: record r's temporary file. Throws
// CFileException when a file cannot be read, std::logic_error when its length is not its layout's.
std::string mixedUpdate(std::span<const std::uint8_t> buffer, const std::vector<ImageRecord>& records,
                        const std::vector<std::string>& names, std::span<const ReplacedRange> written,
                        const LastXrefSection& lastSection);

}  // namespace pagewash
