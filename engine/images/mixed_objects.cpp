#include "engine/images/mixed_objects.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string_view>

#include "engine/pdf/pdf_lexer.h"
#include "engine/pdf/stream_object.h"

namespace pagewash {

namespace {

// The entries of an image that mean the same for the form that takes its place.
constexpr std::array<std::string_view, 6> kFormKeys = {"Type", "Metadata", "OC",
                                                       "OPI",  "Name",     "StructParent"};
// The entries whose effect on the image's samples the form's layers could not keep.
constexpr std::array<std::string_view, 3> kSampleKeys = {"SMask", "Mask", "Decode"};

template <std::size_t N>
bool isOneOf(std::string_view key, const std::array<std::string_view, N>& keys) {
    for (const std::string_view k : keys)
        if (key == k) return true;
    return false;
}

std::string reference(std::int64_t number) { return std::to_string(number) + " 0 R"; }

const char* colorSpace(int components) { return components == 3 ? "/DeviceRGB" : "/DeviceGray"; }

std::string jpegEntries(int width, int height, int components) {
    return "/Type /XObject/Subtype /Image/Width " + std::to_string(width) + "/Height " +
           std::to_string(height) + "/ColorSpace " + colorSpace(components) +
           "/BitsPerComponent 8/Filter /DCTDecode";
}

// A colour value of the content stream: 0..255 as 0..1, three decimals.
std::string colorValue(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%.3f", value / 255.0);
    return text;
}

// A fraction of the unit square with nine decimals, trailing zeros dropped: a rectangle's edges then fall
// within a billionth of the page of their pixels' edges.
std::string fraction(double numerator, double denominator) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9f", numerator / denominator);
    std::string value = text;
    while (value.back() == '0') value.pop_back();
    if (value.back() == '.') value.pop_back();
    return value;
}

std::string pictureName(int index) { return "P" + std::to_string(index); }

std::string_view slice(std::span<const std::uint8_t> file, std::int64_t begin, std::int64_t length) {
    return {reinterpret_cast<const char*>(file.data()) + begin, static_cast<std::size_t>(length)};
}

}  // namespace

std::optional<std::string> mixedFormEntries(std::span<const std::uint8_t> buffer,
                                            std::int64_t dictionaryOffset, const MixedNumbers& numbers) {
    const std::optional<Dictionary> dictionary = readDictionaryAt(buffer, dictionaryOffset);
    if (!dictionary) return std::nullopt;
    std::string entries;
    for (const DictionaryEntry& entry : dictionary->entries) {
        if (isOneOf(entry.key, kSampleKeys)) return std::nullopt;
        if (isOneOf(entry.key, kFormKeys)) entries += "/" + entry.key + " " + valueText(buffer, entry);
    }
    entries += "/Subtype /Form/BBox [-0.01 -0.01 1.01 1.01]/Resources <</XObject <</B " +
               reference(numbers.background) + "/M " + reference(numbers.mask);
    if (numbers.ink != 0) entries += "/F " + reference(numbers.ink);
    for (int i = 0; i < kMaxPictures; ++i)
        if (const std::int64_t number = numbers.pictures[static_cast<std::size_t>(i)]; number != 0)
            entries += "/" + pictureName(i) + " " + reference(number);
    return entries + ">>>>";
}

std::string mixedFormContent(const MixedLayout& layout) {
    std::string content = "/B Do\n";
    for (int i = 0; i < layout.pictureCount; ++i) {
        const MixedPictureLayout& p = layout.pictures[static_cast<std::size_t>(i)];
        // The image's rows run top down, the form's y up: the rectangle's bottom is at H - y - h.
        const double w = layout.width, h = layout.height;
        content += "q " + fraction(p.width, w) + " 0 0 " + fraction(p.height, h) + " " + fraction(p.x, w) +
                   " " + fraction(h - p.y - p.height, h) + " cm /" + pictureName(i) + " Do Q\n";
    }
    if (layout.inkLength > 0) return content + "/F Do\n";
    const std::array<std::uint8_t, 3>& ink = layout.inkColor;
    const std::string color = layout.inkComponents == 3 ? colorValue(ink[0]) + " " + colorValue(ink[1]) +
                                                              " " + colorValue(ink[2]) + " rg"
                                                        : colorValue(ink[0]) + " g";
    return content + color + "\n/M Do\n";
}

std::vector<std::string> mixedObjectBodies(const MixedLayout& layout, std::span<const std::uint8_t> file,
                                           const MixedNumbers& numbers) {
    if (static_cast<std::int64_t>(file.size()) != layout.fileLength() || layout.maskLength <= 0 ||
        layout.backgroundLength <= 0)
        throw std::logic_error("the layers of a mixed page do not fill its temporary file");
    const std::string width = std::to_string(layout.width), height = std::to_string(layout.height);
    std::vector<std::string> bodies;
    bodies.push_back(
        streamBody(jpegEntries(layout.backgroundWidth, layout.backgroundHeight, layout.backgroundComponents),
                   slice(file, layout.maskLength, layout.backgroundLength)));
    bodies.push_back(
        streamBody("/Type /XObject/Subtype /Image/Width " + width + "/Height " + height +
                       "/ImageMask true/BitsPerComponent 1/Filter /CCITTFaxDecode/DecodeParms <</K "
                       "-1/Columns " +
                       width + "/Rows " + height + "/BlackIs1 false>>",
                   slice(file, 0, layout.maskLength)));
    if (layout.inkLength > 0) {
        if (numbers.ink == 0) throw std::logic_error("a mixed page's ink image has no object number");
        bodies.push_back(
            streamBody(jpegEntries(layout.inkWidth, layout.inkHeight, layout.inkComponents) + "/Mask " +
                           reference(numbers.mask),
                       slice(file, layout.maskLength + layout.backgroundLength, layout.inkLength)));
    }
    for (int i = 0; i < layout.pictureCount; ++i) {
        const MixedPictureLayout& picture = layout.pictures[static_cast<std::size_t>(i)];
        if (numbers.pictures[static_cast<std::size_t>(i)] == 0 || picture.length <= 0)
            throw std::logic_error("a mixed page's picture has no object number or no data");
        bodies.push_back(streamBody(jpegEntries(picture.width, picture.height, picture.components),
                                    slice(file, layout.pictureOffset(i), picture.length)));
    }
    return bodies;
}

}  // namespace pagewash
