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
std::string slice(const Bytes& bytes, std::size_t begin, std::size_t end) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                       bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

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

TEST_F(EditedPdf, EachImageRangeIsReplacedAndEverythingElseCopied) {
    FixtureImage first, second;
    second.jpeg = grayJpeg();
    second.streamKeyword = "stream\r\n";
    const FixturePdf pdf = makeFixturePdf({first, second});
    prepare(pdf.bytes);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(readBytes(names[0]), colourJpeg()) << "the temporary file holds the input's JPEG";
    // The "workers": the colour image became gray, the gray one got other bytes.
    const std::string newSecond = slice(colourJpeg(), 0, 5000);
    writeBytes(names[0], grayJpeg());
    writeBytes(names[1], toBytes(newSecond));
    records[0].componentCount = 3;
    const std::string output = write(pdf.bytes, mode(ColorMode::Grayscale));

    const auto dictionary = [&](std::size_t i, const std::string& colourSpace, std::size_t length) {
        const std::string text = slice(pdf.bytes, pdf.images[i].dictionaryOffset, pdf.images[i].jpegOffset);
        return text.substr(0, text.find("/ColorSpace")) + colourSpace +
               "/BitsPerComponent 8 /Filter /DCTDecode /Length " + std::to_string(length) + ">>stream\r\n";
    };
    const std::string expected = slice(pdf.bytes, 0, pdf.images[0].dictionaryOffset) +
                                 dictionary(0, "/ColorSpace /DeviceGray", grayJpeg().size()) +
                                 toString(grayJpeg()) +
                                 slice(pdf.bytes, pdf.images[0].jpegEnd, pdf.images[1].dictionaryOffset) +
                                 dictionary(1, "/ColorSpace /DeviceGray ", newSecond.size()) + newSecond +
                                 slice(pdf.bytes, pdf.images[1].jpegEnd, pdf.bytes.size());
    ASSERT_EQ(output, expected);
    EXPECT_EQ(written, plannedImageReplacements(records));
}

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
        {5, 8, "1.7"},
        {startxref, startxref + static_cast<std::int64_t>(text.find('\n', startxref)) - startxref,
         "123456789"}};
    const std::string output = write(pdf.bytes, mode(ColorMode::Auto), patches);
    EXPECT_EQ(written, (std::vector<ReplacedRange>{patches[0].range(), plannedImageReplacements(records)[0],
                                                   patches[1].range()}));
    EXPECT_EQ(output.substr(0, 9), "%PDF-1.7\n");
    EXPECT_EQ(output.substr(output.rfind("startxref\n")), "startxref\n123456789\n%%EOF\n");

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
    EXPECT_THROW(OutputFile{dir.file("no/such/folder.pdf")}, CFileException);
    EXPECT_FALSE(removeFile(dir.file("missing.pdf")));
    OutputFile full("/dev/full");
    full.write(std::string_view("buffered until the flush"));
    EXPECT_THROW(full.close(), CFileException);
}

TEST(FileLayer, WrittenBytesReadBackWhole) {
    ScratchDir dir;
    Bytes bytes(70000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    OutputFile out(dir.file("a.bin"));
    out.write(std::span<const std::uint8_t>(bytes).first(1000));
    out.write(std::string_view("xyz"));
    out.write(std::span<const std::uint8_t>(bytes).subspan(1000));
    out.close();
    InputFile in(dir.file("a.bin"));
    EXPECT_EQ(in.length(), 70003);
    const Bytes back = in.readAll();
    EXPECT_EQ(slice(back, 1000, 1003), "xyz");
    EXPECT_EQ(slice(back, 1003, 70003), slice(bytes, 1000, 70000));
    EXPECT_EQ(readWholeFile(dir.file("a.bin")), back);
}

}  // namespace
}  // namespace pagewash
