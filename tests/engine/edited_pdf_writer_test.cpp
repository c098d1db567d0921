#include "engine/images/edited_pdf_writer.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/images/temp_images.h"
#include "settings/correction_settings.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using namespace testing;

std::int32_t mode(ColorMode m) { return static_cast<std::int32_t>(m); }

// The per-file steps of a batch run, with the workers replaced by writing the temporary images.
class EditedPdf : public ::testing::Test {
  protected:
    void prepare(const Bytes& input) {
        records = readImages(input);
        names.clear();
        for (std::size_t r = 0; r < records.size(); ++r)
            names.push_back(dir.file(tempImageName(static_cast<int>(r))));
        writeTempImages(input, records, names);
    }
    std::string write(const Bytes& input, std::int32_t colorMode, std::span<const ByteSplice> patches = {}) {
        updateStreamLengths(records, names);
        OutputFile output(dir.file("out.pdf"));
        written = writeEditedPdf(output, input, records, names, colorMode, patches);
        output.close();
        return toString(readBytes(dir.file("out.pdf")));
    }
    ScratchDir dir;
    std::vector<ImageRecord> records;
    std::vector<std::string> names;
    std::vector<ReplacedRange> written;
};

TEST_F(EditedPdf, GrayRuleAppliesOnlyToColourImagesInTheTwoGrayingModes) {
    const FixturePdf pdf = makeFixturePdf({FixtureImage{}, FixtureImage{}});
    for (const auto& [colorMode, grays] : {std::pair{ColorMode::None, false},
                                           {ColorMode::Auto, false},
                                           {ColorMode::YellowingRemoval, true},
                                           {ColorMode::Grayscale, true},
                                           {ColorMode::Manual, false}}) {
        prepare(pdf.bytes);
        records[0].componentCount = 3;
        records[1].componentCount = 1;  // decoded as gray: keeps its entry
        const std::string output = write(pdf.bytes, mode(colorMode));
        const std::size_t first = output.find("/ColorSpace"), second = output.find("/ColorSpace", first + 1);
        EXPECT_EQ(output.substr(first, 23), grays ? "/ColorSpace /DeviceGray" : "/ColorSpace /DeviceRGB ")
            << mode(colorMode);
        EXPECT_EQ(output.substr(second, 23), "/ColorSpace /DeviceRGB ") << mode(colorMode);
    }
}

TEST_F(EditedPdf, PatchesAreSplicedAndReportedInInputOrderAndMayNotOverlapAnImage) {
    const FixturePdf pdf = makeFixturePdf({FixtureImage{}});
    prepare(pdf.bytes);
    const std::string text = toString(pdf.bytes);
    const auto startxref = static_cast<std::int64_t>(text.rfind("startxref\n") + 10);
    const std::vector<ByteSplice> patches = {
        {5, 8, "1.7"}, {startxref, static_cast<std::int64_t>(text.find('\n', startxref)), "123456789"}};
    write(pdf.bytes, mode(ColorMode::Auto), patches);
    EXPECT_EQ(written, (std::vector<ReplacedRange>{patches[0].range(), plannedImageReplacements(records)[0],
                                                   patches[1].range()}));

    const auto end = static_cast<std::int64_t>(pdf.images[0].jpegEnd);
    const std::vector<ByteSplice> overlapping = {{end - 1, end + 1, "x"}};
    OutputFile file(dir.file("overlap.pdf"));
    EXPECT_THROW(writeEditedPdf(file, pdf.bytes, records, names, mode(ColorMode::Auto), overlapping),
                 std::logic_error);
}

TEST_F(EditedPdf, MissingOrChangedTemporaryImageRaisesTheFileException) {
    const FixturePdf pdf = makeFixturePdf({FixtureImage{}});
    prepare(pdf.bytes);
    updateStreamLengths(records, names);
    writeBytes(names[0], toBytes("shorter than the length taken"));
    OutputFile output(dir.file("out.pdf"));
    EXPECT_THROW(writeEditedPdf(output, pdf.bytes, records, names, mode(ColorMode::Auto)), CFileException);
    ASSERT_TRUE(removeFile(names[0]));
    EXPECT_THROW(updateStreamLengths(records, names), CFileException);
}

TEST_F(EditedPdf, MoreThanAThousandImagesAreAllReplaced) {
    FixtureImage gray;
    gray.jpeg = grayJpeg();
    const FixturePdf pdf = makeFixturePdf(std::vector<FixtureImage>(1003, gray));
    prepare(pdf.bytes);
    ASSERT_EQ(records.size(), 1003u);
    const Bytes marker(grayJpeg().begin(), grayJpeg().end() - 10);
    writeBytes(names[1002], marker);
    const std::string output = write(pdf.bytes, mode(ColorMode::Auto));
    EXPECT_EQ(written.size(), 1003u);
    // Per image "/Length n >>" loses its blank and "stream\n" gains a CR; the last image is 10 bytes shorter.
    EXPECT_EQ(output.size(), pdf.bytes.size() - 10);
    EXPECT_EQ(output.substr(output.rfind(">>stream\r\n") + 10, marker.size()), toString(marker));
}

TEST(FileLayer, FailuresRaiseTheFileExceptionWithThePath) {
    ScratchDir dir;
    try {
        InputFile missing(dir.file("missing.pdf"));
        FAIL() << "no exception";
    } catch (const CFileException& error) {
        EXPECT_EQ(error.path(), dir.file("missing.pdf"));
        EXPECT_EQ(error.errorNumber(), ENOENT);
    }
    EXPECT_THROW(InputFile{dir.path()}, CFileException) << "a folder is not a file";
    EXPECT_FALSE(removeFile(dir.file("missing.pdf")));
    OutputFile full("/dev/full");
    full.write(std::string_view("buffered until the flush"));
    EXPECT_THROW(full.close(), CFileException);
}

}  // namespace
}  // namespace pagewash
