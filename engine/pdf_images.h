#pragma once
// The file-level handling of a PDF held in memory: recognise it, find its JFIF JPEG streams, read and
// sort their dictionaries, write the images to temporary files, and write the edited PDF.
// Call order for one file: isPdf, findJpegStreams, readImageDictionaries, sortImageRecords,
// checkImageRanges, tempImageName, writeTempImages, (workers), updateStreamLengths, applyGrayRule,
// plannedImageReplacements, editedPdfPath, writeEditedPdf. A refusal ends the file with no output.
// The PDF is a flat string of bytes here: no object, cross-reference table or page tree is parsed.
// All functions run on the batch thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/byte_splice.h"
#include "engine/file_layer.h"
#include "engine/image_record.h"

namespace pagewash {

// Why a PDF is not processed although it is one and has JPEG images.
struct FileRefusal {
    std::int64_t offset = 0;  // the byte offset the reason applies to; -1: the file as a whole
    std::string reason;       // e.g. "/Length runs past the end of the file"; its first word names
                              // what stands at `offset`
};
// "book.pdf: /Length at byte 48213 runs past the end of the file" (the offset goes after the
// reason's first word); with offset -1: "book.pdf: file is larger than 2147483647 bytes".
std::string describeRefusal(const std::string& path, const FileRefusal& refusal);

// Offsets are 32-bit: a file longer than INT32_MAX bytes is refused. Call with the input's length
// before reading it; readImageDictionaries checks the buffer again.
std::optional<FileRefusal> checkFileSize(std::int64_t length);

// True when the buffer holds at least 4 bytes and begins with "%PDF".
bool isPdf(std::span<const std::uint8_t> buffer);

// Every JFIF JPEG that starts a PDF stream, with jpegOffset set, in the order found (phase 0 hits by
// ascending position, then phases 1, 2, 3). A hit counts only when "FF D8" stands six bytes before
// "JFIF" and the bytes before the JPEG are ">>", optional white space, "stream" and one end-of-line.
// The last 128 bytes of the file are never searched. No limit on the count.
std::vector<ImageRecord> findJpegStreams(std::span<const std::uint8_t> buffer);

// For each record in table order: a fresh DictionaryTokens, dictionaryOffset, jpegLength, jpegEnd.
// An indirect /Length (n g R) is resolved to the integer of that object (its last definition in the
// file) and written into the dictionary directly. Returns a refusal when the buffer is longer than
// INT32_MAX, a dictionary cannot be parsed, or a /Length is missing, not a number, unresolvable,
// larger than an int32 or runs past the end of the file.
std::optional<FileRefusal> readImageDictionaries(std::span<const std::uint8_t> buffer,
                                                 std::vector<ImageRecord>& records);

// Ascending jpegOffset (a stable exchange sort).
void sortImageRecords(std::vector<ImageRecord>& records);

// After sorting: a refusal when a range [dictionaryOffset, jpegEnd) leaves the file or overlaps the next.
std::optional<FileRefusal> checkImageRanges(std::span<const std::uint8_t> buffer,
                                            const std::vector<ImageRecord>& records);

// "_image_" + at least three digits + ".jpg": "_image_000.jpg", "_image_511.jpg", "_image_1000.jpg".
std::string tempImageName(int index);

// Writes each record's input JPEG bytes to names[r] (full paths). Throws CFileException.
void writeTempImages(std::span<const std::uint8_t> buffer, const std::vector<ImageRecord>& records,
                     const std::vector<std::string>& names);

// Takes each temporary file's length as the new jpegLength and writes it into the dictionary.
// Throws CFileException.
void updateStreamLengths(std::vector<ImageRecord>& records, const std::vector<std::string>& names);

// The input path less its last four characters, followed by "_edit.pdf". Characters are UTF-8 code
// points, and no character of the folder part is removed (a name shorter than four is removed whole).
std::string editedPdfPath(const std::string& inputPath);

// The gray rule: in YellowingRemoval or Grayscale, a record whose componentCount is not 1 gets
// makeDictionaryGray. Applying it twice changes nothing more.
void applyGrayRule(std::vector<ImageRecord>& records, std::int32_t colorMode);

// Each record's input range [dictionaryOffset, jpegEnd) and the length of what replaces it:
// "<<" + the tokens + ">>stream\r\n" + jpegLength. Call after updateStreamLengths and applyGrayRule.
std::vector<ReplacedRange> plannedImageReplacements(const std::vector<ImageRecord>& records);

// Writes the edited PDF into `output`: the input's bytes, each record's range replaced by "<<", its
// tokens, ">>stream\r\n" and the content of names[r], and each patch's range by its bytes. Patches lie
// outside the records' ranges and do not overlap. Applies the gray rule first.
// Returns every replaced range (records and patches) in input order. Throws CFileException.
std::vector<ReplacedRange> writeEditedPdf(OutputFile& output, std::span<const std::uint8_t> buffer,
                                          std::vector<ImageRecord>& records,
                                          const std::vector<std::string>& names, std::int32_t colorMode,
                                          std::span<const ByteSplice> patches = {});

}  // namespace pagewash
