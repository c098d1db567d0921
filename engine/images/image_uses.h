#pragma once
// Images that other objects use where only an image may stand: the soft mask or the stencil of another
// image (/SMask, /Mask), a page's thumbnail (/Thumb), an alternate version (/Image of /Alternates). A
// reader draws such an object as samples, never as a form, so it must stay an image. Found by a plain
// search for "/Key N G R" in the file's bytes: the image dictionaries that hold /SMask and /Mask are
// stream dictionaries, which object streams never hold. Stateless; safe on any thread.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/images/image_record.h"

namespace pagewash {

// For each record, whether another object uses its image as one of the above. A record whose object
// number cannot be read before its dictionary counts as used (it is not known to be free).
std::vector<bool> imagesUsedAsSamples(std::span<const std::uint8_t> buffer,
                                      const std::vector<ImageRecord>& records);

}  // namespace pagewash
