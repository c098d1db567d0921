#include "engine/images/other_jpeg_search.h"

#include <gtest/gtest.h>

#include "engine/images/jpeg_stream_search.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using namespace testing;

// An Adobe JPEG (no JFIF signature) made by cjpeg from the data page.
Bytes adobeJpeg(const ScratchDir& scratch) {
    makeJpeg(64, false, scratch.file("page.jpg"));
    const CommandResult made = runCommand("djpeg " + quote(scratch.file("page.jpg")) + " | cjpeg -rgb > " +
                                          quote(scratch.file("adobe.jpg")));
    if (made.exitStatus != 0) throw std::runtime_error("cjpeg -rgb: " + made.err);
    return readBytes(scratch.file("adobe.jpg"));
}

TEST(OtherJpegSearch, TakesOnlyImageStreamsWhoseOnlyFilterIsDct) {
    ASSERT_TRUE(toolsInstalled({"convert", "djpeg", "cjpeg"}));
    ScratchDir scratch;
    const Bytes adobe = adobeJpeg(scratch);
    const std::string head = "<< /Type /XObject /Width %W /Height %H /ColorSpace %CS /BitsPerComponent 8 ";
    const std::vector<std::pair<std::string, bool>> dictionaries = {
        {head + "/Subtype /Image /Filter /DCTDecode /Length %L >>", true},
        {head + "/Subtype/Image/Filter[/DCTDecode]/Length %L >>", true},
        {head + "/Filter [ /DCTDecode ] /DecodeParms << /ColorTransform 0 >> /Subtype /Image /Length %L >>",
         true},
        {head + "/Subtype /Image /Filter [/FlateDecode /DCTDecode] /Length %L >>", false},
        {head + "/Subtype /Image /Filter /DCTDecodeX /Length %L >>", false},
        {head + "/Subtype /Image /Length %L >>", false},
        {head + "/Filter /DCTDecode /Length %L >>", false},
        {head + "/Subtype /Form /Filter /DCTDecode /Length %L >>", false},
        {head + "/Subtype /Image /DecodeParms << /Filter /DCTDecode >> /Length %L >>", false},
    };
    std::vector<FixtureImage> images;
    for (const auto& [dictionary, hit] : dictionaries) {
        FixtureImage image;
        image.jpeg = adobe;
        image.dictionary = dictionary;
        images.push_back(image);
    }
    images.push_back(FixtureImage{});  // a JFIF image, found by the JFIF search only
    const FixturePdf pdf = makeFixturePdf(images);
    const std::vector<ImageRecord> others = findOtherJpegStreams(pdf.bytes, findJpegStreams(pdf.bytes));
    std::vector<std::size_t> expected;
    for (std::size_t i = 0; i < dictionaries.size(); ++i)
        if (dictionaries[i].second) expected.push_back(pdf.images[i].jpegOffset);
    std::vector<std::size_t> found;
    for (const ImageRecord& record : others) found.push_back(static_cast<std::size_t>(record.jpegOffset));
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace pagewash
