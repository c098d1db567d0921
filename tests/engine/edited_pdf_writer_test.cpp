#include "engine/images/edited_pdf_writer.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "engine/images/temp_images.h"
#include "settings/correction_settings.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using namespace testing;

// The per-file steps of a batch run, with the workers replaced by writing the temporary images.
class EditedPdf : public ::testing::Test {
  protected:
    void prepare(const Bytes& input) {
        records = readImages(input);
        names.clear();
        for (std::size_t r = 0; r < records.size(); ++r)
            names.push_back(dir.file(tempImageName(static_cast<int>(r))));
        writeTempImages(input, records, names);
        updateStreamLengths(records, names);
    }
    std::vector<ReplacedRange> write(const Bytes& input, std::span<const ByteSplice> patches = {}) {
        OutputFile output(dir.file("out.pdf"));
        const auto written = writeEditedPdf(output, input, records, names, patches);
        output.close();
        return written;
    }
    ScratchDir dir;
    std::vector<ImageRecord> records;
    std::vector<std::string> names;
};

TEST_F(EditedPdf, GrayRuleAppliesOnlyToColourImagesInTheTwoGrayingModesAndAKeptOriginalStaysByteForByte) {
    FixtureImage kept;
    kept.indirectLength = true;
    const FixturePdf pdf = makeFixturePdf({FixtureImage{}, FixtureImage{}, kept});
    const bool grays[] = {false, false, true, true,
                          false};  // None, Auto, YellowingRemoval, Grayscale, Manual
    for (std::int32_t colorMode = 0; colorMode < 5; ++colorMode) {
        prepare(pdf.bytes);
        decideRewrite(records[0], 3, false, colorMode);
        decideRewrite(records[1], 1, false, colorMode);  // decoded as gray: keeps its entry
        decideRewrite(records[2], 3, true, colorMode);   // its new JPEG was larger
        EXPECT_EQ(write(pdf.bytes).size(), 2u);
        const std::string output = toString(readBytes(dir.file("out.pdf")));
        const std::size_t first = output.find("/ColorSpace"), second = output.find("/ColorSpace", first + 1);
        EXPECT_EQ(output.substr(first, 23),
                  grays[colorMode] ? "/ColorSpace /DeviceGray" : "/ColorSpace /DeviceRGB ")
            << colorMode;
        EXPECT_EQ(output.substr(second, 23), "/ColorSpace /DeviceRGB ") << colorMode;
        const std::string input = toString(pdf.bytes);
        EXPECT_TRUE(output.ends_with(input.substr(static_cast<std::size_t>(records[1].jpegEnd))))
            << "the kept image's dictionary, stream line and JPEG, and all after them: " << colorMode;
    }
}

TEST_F(EditedPdf, PatchesAreReportedInInputOrderAndMayNotOverlapAnImageWhoseFileMustKeepItsLength) {
    const FixturePdf pdf = makeFixturePdf({FixtureImage{}});
    prepare(pdf.bytes);
    const std::string text = toString(pdf.bytes);
    const auto startxref = static_cast<std::int64_t>(text.rfind("startxref\n") + 10);
    const std::vector<ByteSplice> patches = {
        {5, 8, "1.7"}, {startxref, static_cast<std::int64_t>(text.find('\n', startxref)), "123456789"}};
    EXPECT_EQ(write(pdf.bytes, patches),
              (std::vector<ReplacedRange>{patches[0].range(), plannedImageReplacements(records)[0],
                                          patches[1].range()}));

    const auto end = static_cast<std::int64_t>(pdf.images[0].jpegEnd);
    const std::vector<ByteSplice> overlapping = {{end - 1, end + 1, "x"}};
    EXPECT_THROW(write(pdf.bytes, overlapping), std::logic_error);
    writeBytes(names[0], toBytes("shorter than the length taken"));
    EXPECT_THROW(write(pdf.bytes), CFileException);
    ASSERT_TRUE(removeFile(names[0]));
    EXPECT_THROW(updateStreamLengths(records, names), CFileException);
}

TEST(TempImages, NamesStayDistinctPast999) {
    std::set<std::string> names;
    for (int i = 0; i < 1100; ++i) names.insert(tempImageName(i));
    EXPECT_EQ(names.size(), 1100u);
}

TEST(FileLayer, FailuresRaiseTheFileExceptionWithThePath) {
    ScratchDir dir;
    EXPECT_THROW(InputFile{dir.file("missing.pdf")}, CFileException);
    EXPECT_THROW(InputFile{dir.path()}, CFileException) << "a folder is not a file";
    EXPECT_FALSE(removeFile(dir.file("missing.pdf")));
    OutputFile full("/dev/full");
    full.write(std::string_view("buffered until the flush"));
    EXPECT_THROW(full.close(), CFileException);
}

}  // namespace
}  // namespace pagewash
