#pragma once
// One embedded JFIF JPEG stream of the PDF in hand.

#include <cstdint>
#include <memory>

#include "engine/images/dictionary_tokens.h"

namespace pagewash {

struct ImageRecord {
    std::int32_t dictionaryOffset = -1;  // the "<" of the dictionary's opening "<<"
    std::int32_t jpegOffset = 0;         // the FF of the JPEG's FF D8
    std::int32_t jpegEnd = 0;            // jpegOffset + the input's /Length
    std::int32_t jpegLength = 0;         // the input's /Length; after the workers, the corrected length
    std::int32_t componentCount = 1;     // written by the image worker after decoding
    std::unique_ptr<DictionaryTokens> tokens;
};

}  // namespace pagewash
