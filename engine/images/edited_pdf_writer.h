#pragma once
// The edited PDF: its path beside the input, the gray rule, and the byte layout in which each image
// stream is replaced and every other input byte is copied. Batch thread.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/images/image_record.h"
#include "engine/pdf/byte_splice.h"
#include "engine/pdf/file_layer.h"

namespace pagewash {

// The input path less its last four characters, followed by "_edit.pdf". Characters are UTF-8 code
// points, and no character of the folder part is removed (a name shorter than four is removed whole).
std::string editedPdfPath(const std::string& inputPath);

// The gray rule: in YellowingRemoval or Grayscale, a record whose componentCount is 3 (a colour image
// that was re-encoded, gray, in place) gets makeDictionaryGray; every other record keeps its colour
// space. Applying it twice changes nothing more.
void applyGrayRule(std::vector<ImageRecord>& records, std::int32_t colorMode);

// Each record's input range [dictionaryOffset, jpegEnd) and the length of what replaces it:
// "<<" + the tokens + ">>stream\r\n" + jpegLength. Call after updateStreamLengths and applyGrayRule.
std::vector<ReplacedRange> plannedImageReplacements(const std::vector<ImageRecord>& records);

// Writes the edited PDF into `output`: the input's bytes, each record's range replaced by "<<", its
// tokens, ">>stream\r\n" and the content of names[r], and each patch's range by its bytes. Patches lie
// outside the records' ranges and do not overlap. Applies the gray rule first.
// Returns every replaced range (records and patches) in input order. Throws CFileException when a
// file fails (a temporary image whose length no longer equals its jpegLength counts as failed), and
// std::logic_error, before writing anything, when ranges overlap or leave the input.
// REQUIRES: names.size() >= records.size(); ranges as checkImageRanges accepts them.
std::vector<ReplacedRange> writeEditedPdf(OutputFile& output, std::span<const std::uint8_t> buffer,
                                          std::vector<ImageRecord>& records,
                                          const std::vector<std::string>& names, std::int32_t colorMode,
                                          std::span<const ByteSplice> patches = {});

}  // namespace pagewash
