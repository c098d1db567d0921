#pragma once
// One embedded JFIF JPEG stream of the PDF in hand.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/images/dictionary_tokens.h"
#include "imaging/mixed_layout.h"

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
    // "<<", bilevelEntries, "/Length" with the new length, ">>stream" CR LF and the temporary file's
    // Group 4 data: a text page stored as black and white.
    MakeBilevel,
    // "<<", formEntries, "/Length" with the content's length, ">>stream" CR LF and formContent: a page
    // stored as mixed raster content, whose layers are appended as new objects (mixed_objects.h).
    MakeMixed,
};

struct ImageRecord {
    std::int32_t dictionaryOffset = -1;  // the "<" of the dictionary's opening "<<"
    std::int32_t jpegOffset = 0;         // the FF of the JPEG's FF D8
    std::int32_t jpegEnd = 0;            // jpegOffset + the input's /Length
    std::int32_t jpegLength = 0;         // the input's /Length; after the workers, the corrected length
    StreamRewrite rewrite = StreamRewrite::KeepColorSpace;
    std::unique_ptr<DictionaryTokens> tokens;
    std::string bilevelEntries;  // MakeBilevel: the dictionary's entries less /Length (bilevel_dictionary.h)
    // MakeMixed: the form's entries less /Length, its content, and how its temporary file holds the layers.
    std::string formEntries;
    std::string formContent;
    MixedLayout mixed;
};

}  // namespace pagewash
