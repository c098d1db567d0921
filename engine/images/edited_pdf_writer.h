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

// Sets what replaces the image once its worker has ended, applying the gray rule: in YellowingRemoval or
// Grayscale, an image that the worker decoded with three components and re-encoded in place (gray) gets
// MakeGray and makeDictionaryGray; an image whose original the worker kept (a larger new JPEG) gets
// CopyInput; every other keeps its colour space. `decodedComponents` is what the worker reported: 1
// when it put no new JPEG in place. Call once per record.
void decideRewrite(ImageRecord& record, std::int32_t decodedComponents, bool originalKept,
                   std::int32_t colorMode);

// A text page whose worker stored Group 4 data: MakeBilevel with `entries` (bilevelEntries). Call instead
// of decideRewrite.
void decideBilevelRewrite(ImageRecord& record, std::string entries);

// A page whose worker stored the layers of mixed raster content in its temporary file as `layout` says:
// MakeMixed with the form's `entries` (mixedFormEntries) and its content. Call instead of decideRewrite;
// the caller appends the layers' objects (mixedObjectBodies) after the written file.
void decideMixedRewrite(ImageRecord& record, std::string entries, const MixedLayout& layout);

// The input range [dictionaryOffset, jpegEnd) of each record that is not copied as it was, and the length
// of what replaces it: "<<" + the tokens + ">>stream\r\n" + jpegLength. Call after updateStreamLengths
// and decideRewrite.
std::vector<ReplacedRange> plannedImageReplacements(const std::vector<ImageRecord>& records);

// Writes the edited PDF into `output`: the input's bytes, the range of each record that is not copied as
// it was replaced by "<<", its tokens, ">>stream\r\n" and the content of names[r], and each patch's range
// by its bytes. Patches lie outside the records' ranges and do not overlap.
// Returns every replaced range (records and patches) in input order. Throws CFileException when a
// file fails (a temporary image whose length no longer equals its jpegLength counts as failed), and
// std::logic_error, before writing anything, when ranges overlap or leave the input.
// REQUIRES: names.size() >= records.size(); ranges as checkImageRanges accepts them.
std::vector<ReplacedRange> writeEditedPdf(OutputFile& output, std::span<const std::uint8_t> buffer,
                                          const std::vector<ImageRecord>& records,
                                          const std::vector<std::string>& names,
                                          std::span<const ByteSplice> patches = {});

}  // namespace pagewash
