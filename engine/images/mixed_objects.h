#pragma once
// A page stored as mixed raster content (--mrc) in the PDF. The image object keeps its number and its
// place and becomes a Form XObject over the unit square, as the image was: its content paints the
// background image, then the ink through the text mask. The images it paints are new objects, appended
// after the file's last byte:
//   /B  the background, a small JPEG scaled over the whole square;
//   /M  the text mask, /ImageMask true coded Group 4: with one ink colour the form fills it with that
//       colour; otherwise it is the explicit /Mask of
//   /F  the ink image, a small JPEG of the ink's colours drawn only where the mask has ink;
//   /P0 .. /P7  the pictures, JPEGs at full resolution each drawn on its rectangle over the background,
//       before the ink.
// /Decode stays the default [0 1] and /BlackIs1 false: the coded ink runs decode as 0, the samples a
// mask paints. (With /BlackIs1 true and no /Decode the page would paint in ink where the paper is.)
// Batch thread; no shared state.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/mixed_layout.h"

namespace pagewash {

// The numbers of the appended objects of one image.
struct MixedNumbers {
    std::int64_t background = 0;
    std::int64_t mask = 0;
    std::int64_t ink = 0;                               // 0: one ink colour, no ink image
    std::array<std::int64_t, kMaxPictures> pictures{};  // 0: no such picture
};

// The form's entries without /Length, which the writer appends: those of the image's dictionary that
// mean the same for a form (/Type, /Metadata, /OC, /OPI, /Name, /StructParent: its place in the
// structure tree stays the same), then "/Subtype /Form/BBox [-0.01 -0.01 1.01 1.01]/Resources <<...>>".
// The image's coding entries, /Intent, /Interpolate, /Alternates and /ID are dropped: they describe
// samples a form does not have. Nothing when the dictionary whose "<<" stands at dictionaryOffset cannot
// be read whole, or holds /SMask, /Mask or /Decode, whose effect on the image a form cannot carry to its
// layers without a transparency group (the image then stays a JPEG). The numbers only name the
// resources: pass any to learn whether the image may become a form.
std::optional<std::string> mixedFormEntries(std::span<const std::uint8_t> buffer,
                                            std::int64_t dictionaryOffset, const MixedNumbers& numbers);

// The form's content: "/B Do", each picture placed on its rectangle ("q w 0 0 h x y cm /Pn Do Q", in
// the unit square's fractions), then "r g b rg /M Do" (or "v g /M Do" for gray ink) or "/F Do".
std::string mixedFormContent(const MixedLayout& layout);

// The bodies of the appended objects in the order of their numbers (background, mask, ink image when
// there is one, pictures), each a whole stream object body (streamBody). `file`: the image's
// temporary file, laid out as `layout` says. Throws std::logic_error when its length differs.
std::vector<std::string> mixedObjectBodies(const MixedLayout& layout, std::span<const std::uint8_t> file,
                                           const MixedNumbers& numbers);

}  // namespace pagewash
