#pragma once
// Writes an 8-bit PNG with libpng: gray for one component, RGB for three. Reentrant.

#include <optional>
#include <string>

#include "engine/pdf/refusal.h"
#include "imaging/jpeg_codec.h"
#include "platform/files.h"

namespace pagewash {

// Writes `image` to `path` as the edited PDF is written: into a new file beside it, created without
// following anything planted there, renamed over `path` only once complete. On failure `path` is as it
// was and the refusal names it and the reason in one line. The file gets `permissions`, or those of a new
// file. REQUIRES: image.components is 1 or 3 (displayable() gives such an image).
Result<Done> writePng(const std::string& path, const DecodedImage& image,
                      std::optional<platform::Permissions> permissions = {});

// Places `left` and `right` side by side, tops aligned, the lower one padded with white: gray when both
// are gray, RGB otherwise. REQUIRES: components 1 or 3.
DecodedImage sideBySide(const DecodedImage& left, const DecodedImage& right);

}  // namespace pagewash
