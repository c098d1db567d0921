#pragma once
// Finding the JPEG image streams that carry no JFIF signature (Exif JPEGs from cameras and phones,
// Adobe JPEGs, bare JPEGs), which findJpegStreams passes over. Batch thread.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/images/image_record.h"

namespace pagewash {

// Every JPEG image stream of `buffer` that findJpegStreams did not find (`jfif` is its result), by
// ascending position, with jpegOffset set. A hit is "FF D8 FF" that starts a stream's data by the rule
// of findJpegStreams (below the same unsearched tail), in a stream whose dictionary says /Subtype /Image
// and has /DCTDecode as its only filter: a name, or an array of that one name. A dictionary that
// cannot be read (see parseImageDictionary) is no hit.
std::vector<ImageRecord> findOtherJpegStreams(std::span<const std::uint8_t> buffer,
                                              const std::vector<ImageRecord>& jfif);

// True when the stream dictionary before `jpegOffset` has /Subtype /Image and /DCTDecode as its only
// filter, both at the dictionary's own level (not inside a nested dictionary).
bool isDctImageDictionary(std::span<const std::uint8_t> buffer, std::int32_t jpegOffset);

}  // namespace pagewash
