#include "engine/images/other_jpeg_search.h"

#include <gtest/gtest.h>

#include "engine/images/jpeg_stream_search.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using namespace testing;

TEST(OtherJpegSearch, TakesOnlyImageStreamsWhoseOnlyFilterIsDct) {
    PAGEWASH_REQUIRE_TOOLS({"convert", "djpeg", "cjpeg"});
    ScratchDir scratch;  // an Adobe JPEG (no JFIF signature) made by cjpeg from the data page
    makeJpeg(64, false, scratch.file("page.jpg"));
    const CommandResult made = runCommand("djpeg " + quote(scratch.file("page.jpg")) + " | cjpeg -rgb > " +
                                          quote(scratch.file("adobe.jpg")));
    ASSERT_EQ(made.exitStatus, 0) << "cjpeg -rgb: " << made.err;
    const Bytes adobe = readBytes(scratch.file("adobe.jpg"));
    const std::pair<std::string, bool> entries[] = {
        {"/Subtype /Image /Filter /DCTDecode", true},
        {"/Subtype/Image/Filter[/DCTDecode]", true},
        {"/Filter [ /DCTDecode ] /DecodeParms << /ColorTransform 0 >> /Subtype /Image", true},
        {"/Subtype /Image /Filter [/FlateDecode /DCTDecode]", false},
        {"/Subtype /Image /Filter [/DCTDecode /FlateDecode]", false},
        {"/Subtype /Image /Filter /DCTDecodeX", false},
        {"/Subtype /Image", false},
        {"/Filter /DCTDecode", false},
        {"/Subtype /Form /Filter /DCTDecode", false},
        {"/Subtype /Image /DecodeParms << /Filter /DCTDecode >>", false},
    };
    std::vector<FixtureImage> images;
    for (const auto& [middle, hit] : entries)
        images.push_back(
            {.jpeg = adobe,
             .dictionary = "<< /Type /XObject /Width %W /Height %H /ColorSpace %CS /BitsPerComponent 8 " +
                           middle + " /Length %L >>",
             .lengthText = ""});
    images.push_back(FixtureImage{});  // a JFIF image, found by the JFIF search only
    const FixturePdf pdf = makeFixturePdf(images);
    std::vector<std::int32_t> expected, found;
    for (std::size_t i = 0; i < std::size(entries); ++i)
        if (entries[i].second) expected.push_back(static_cast<std::int32_t>(pdf.images[i].jpegOffset));
    for (const ImageRecord& record : findOtherJpegStreams(pdf.bytes, findJpegStreams(pdf.bytes)))
        found.push_back(record.jpegOffset);
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace pagewash
