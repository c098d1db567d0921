#pragma once
// The stream dictionary of an image stored as black and white (--bilevel): the input dictionary's own
// entries, less those that describe the JPEG's coding, followed by those of a 1-bit Group 4 image.
// /Width, /Height, /SMask, /Interpolate and every other entry stay as they were, so that readers place
// and scale the image as before; a /Decode stays when it has the two numbers of one component. Batch thread;
// no shared state.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pagewash {

// The entries without /Length, which the writer appends: "/Type /XObject/Subtype /Image/Width 2480
// /Height 3508/ColorSpace /DeviceGray/BitsPerComponent 1/Filter /CCITTFaxDecode/DecodeParms <</K -1
// /Columns 2480/Rows 3508/BlackIs1 false>>". /BlackIs1 false: the decoded black runs are 0, which
// /DeviceGray shows black. Nothing when the dictionary whose "<<" stands at dictionaryOffset cannot be
// read whole (the image then stays a JPEG). columns and rows: the image's size in pixels.
std::optional<std::string> bilevelEntries(std::span<const std::uint8_t> buffer, std::int64_t dictionaryOffset,
                                          int columns, int rows);

}  // namespace pagewash
