#pragma once
// One embedded JFIF JPEG stream of the PDF in hand.

#include <cstdint>
#include <memory>

#include "engine/images/dictionary_tokens.h"

namespace pagewash {

// What the edited PDF holds in the image's place, decided once its worker has ended (decideRewrite).
enum class StreamRewrite : std::uint8_t {
    // "<<", the tokens with the new /Length, ">>stream" CR LF and the temporary file's JPEG: the image
    // was re-encoded with its colour space, or is carried over as it was.
    KeepColorSpace,
    // The same, with the colour space /DeviceGray: decoded as colour and re-encoded gray.
    MakeGray,
    // The input's bytes, dictionary, stream keyword line and JPEG alike: a kept original.
    CopyInput,
};

struct ImageRecord {
    std::int32_t dictionaryOffset = -1;  // the "<" of the dictionary's opening "<<"
    std::int32_t jpegOffset = 0;         // the FF of the JPEG's FF D8
    std::int32_t jpegEnd = 0;            // jpegOffset + the input's /Length
    std::int32_t jpegLength = 0;         // the input's /Length; after the workers, the corrected length
    StreamRewrite rewrite = StreamRewrite::KeepColorSpace;
    std::unique_ptr<DictionaryTokens> tokens;
};

}  // namespace pagewash
