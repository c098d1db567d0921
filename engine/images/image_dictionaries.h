#pragma once
// The stream dictionary in front of each JPEG found, its /Length and the extent of the JPEG data.
// Batch thread.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/images/image_record.h"
#include "engine/pdf/refusal.h"

namespace pagewash {

// For each record in table order: a fresh DictionaryTokens, dictionaryOffset, jpegLength, jpegEnd.
// An indirect /Length (n g R) is resolved to the integer of that object (its last definition in the
// file) and written into the dictionary directly. Returns a refusal when the buffer is longer than
// INT32_MAX, a dictionary cannot be parsed, or a /Length is missing, not a number, unresolvable,
// larger than an int32 or runs past the end of the file.
Result<Done> readImageDictionaries(std::span<const std::uint8_t> buffer, std::vector<ImageRecord>& records);

}  // namespace pagewash
