#pragma once
// Recognising a PDF and finding the JFIF JPEGs that start its streams, by a plain byte search.
// Batch thread.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/images/image_record.h"

namespace pagewash {

// True when the buffer holds at least 4 bytes and begins with "%PDF".
bool isPdf(std::span<const std::uint8_t> buffer);

// True when ">>", optional white space, "stream" and exactly one end-of-line stand right before
// `jpegOffset`: the bytes there start a stream's data. REQUIRES: jpegOffset <= buffer.size().
bool startsStreamData(std::span<const std::uint8_t> buffer, std::size_t jpegOffset);

// Every JFIF JPEG that starts a PDF stream, with jpegOffset set, in the order found (phase 0 hits by
// ascending position, then phases 1, 2, 3). A hit counts only when "FF D8" stands six bytes before
// "JFIF" and the bytes before the JPEG are ">>", optional white space, "stream" and one end-of-line.
// The last 128 bytes of the file are never searched. No limit on the count.
std::vector<ImageRecord> findJpegStreams(std::span<const std::uint8_t> buffer);

}  // namespace pagewash
