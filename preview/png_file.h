#pragma once
// Writes an 8-bit PNG with libpng: gray for one component, RGB for three. Reentrant.

#include <string>

#include "engine/pdf/refusal.h"
#include "imaging/jpeg_codec.h"

namespace pagewash {

// Writes `image` to `path`, replacing it. On failure the partly written file is removed and the refusal
// names the path. REQUIRES: image.components is 1 or 3 (displayable() gives such an image).
Result<Done> writePng(const std::string& path, const DecodedImage& image);

// Places `left` and `right` side by side, tops aligned, the lower one padded with white: gray when both
// are gray, RGB otherwise. REQUIRES: components 1 or 3.
DecodedImage sideBySide(const DecodedImage& left, const DecodedImage& right);

}  // namespace pagewash
