#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/images/edited_pdf_writer.h"
#include "engine/images/image_dictionaries.h"
#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/images/temp_images.h"
#include "engine_test_support.h"
#include "settings/correction_settings.h"

namespace pagewash {
namespace {

using test::FixtureImage;
using test::FixturePdf;
using testing::Bytes;

constexpr std::int32_t kAuto = static_cast<std::int32_t>(ColorMode::Auto);
constexpr std::int32_t kYellowing = static_cast<std::int32_t>(ColorMode::YellowingRemoval);
constexpr std::int32_t kGrayscale = static_cast<std::int32_t>(ColorMode::Grayscale);
constexpr std::int32_t kManual = static_cast<std::int32_t>(ColorMode::Manual);

// The per-file steps of a batch run, with the workers replaced by `corrected` (new JPEG bytes per
// image, or nullopt to keep the copy) and `components`.
class EditedPdf : public ::testing::Test {
  protected:
    void prepare(const Bytes& input) {
        records = findJpegStreams(input);
        ASSERT_TRUE(readImageDictionaries(input, records));
        sortImageRecords(records);
        ASSERT_TRUE(checkImageRanges(input, records));
        names.clear();
        for (std::size_t r = 0; r < records.size(); ++r)
            names.push_back(dir.file(tempImageName(static_cast<int>(r))));
        writeTempImages(input, records, names);
    }

    void correct(std::size_t r, const Bytes& jpeg, std::int32_t components) {
        testing::writeBytes(names[r], jpeg);
        records[r].componentCount = components;
    }

    Bytes write(const Bytes& input, std::int32_t colorMode, std::span<const ByteSplice> patches = {}) {
        updateStreamLengths(records, names);
        OutputFile output(dir.file("out.pdf"));
        written = writeEditedPdf(output, input, records, names, colorMode, patches);
        output.close();
        return testing::readBytes(dir.file("out.pdf"));
    }

    static Bytes slice(const Bytes& bytes, std::size_t begin, std::size_t end) {
        return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                     bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
    static void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
    static void append(Bytes& out, const std::string& more) {
        out.insert(out.end(), more.begin(), more.end());
    }

    testing::ScratchDir dir;
    std::vector<ImageRecord> records;
    std::vector<std::string> names;
    std::vector<ReplacedRange> written;
};

FixtureImage fixtureImage(const Bytes& jpeg, const std::string& keyword = "stream\n") {
    FixtureImage image;
    image.jpeg = jpeg;
    image.streamKeyword = keyword;
    return image;
}

TEST_F(EditedPdf, OutputLayoutReplacesEachImageRangeAndCopiesEverythingElse) {
    const auto& gray = test::grayJpeg();
    if (!gray) GTEST_SKIP() << "cjpeg is missing";
    const Bytes& colour = test::colourJpeg();
    const FixturePdf pdf =
        test::makeFixturePdf({fixtureImage(colour, "stream\n"), fixtureImage(*gray, "stream\r\n")});
    prepare(pdf.bytes);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(testing::readBytes(names[0]), colour) << "the temporary file holds the input's JPEG";
    EXPECT_EQ(testing::readBytes(names[1]), *gray);

    // The "workers": the colour image became gray, the gray one got other bytes.
    const Bytes newFirst = *gray;
    const Bytes newSecond = slice(colour, 0, 5000);
    correct(0, newFirst, 3);
    correct(1, newSecond, 1);
    const Bytes output = write(pdf.bytes, kGrayscale);

    const test::JpegFrame a = test::jpegFrame(colour), b = test::jpegFrame(*gray);
    Bytes expected = slice(pdf.bytes, 0, pdf.images[0].dictionaryOffset);
    append(expected, "<< /Type /XObject /Subtype /Image /Width " + std::to_string(a.width) + " /Height " +
                         std::to_string(a.height) +
                         " /ColorSpace /DeviceGray/BitsPerComponent 8 /Filter /DCTDecode /Length " +
                         std::to_string(newFirst.size()) + ">>stream\r\n");
    append(expected, newFirst);
    append(expected, slice(pdf.bytes, pdf.images[0].jpegEnd, pdf.images[1].dictionaryOffset));
    append(expected, "<< /Type /XObject /Subtype /Image /Width " + std::to_string(b.width) + " /Height " +
                         std::to_string(b.height) +
                         " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode /Length " +
                         std::to_string(newSecond.size()) + ">>stream\r\n");
    append(expected, newSecond);
    append(expected, slice(pdf.bytes, pdf.images[1].jpegEnd, pdf.bytes.size()));
    ASSERT_EQ(testing::toString(output), testing::toString(expected));

    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written, plannedImageReplacements(records));
    EXPECT_EQ(written[0].inputBegin, static_cast<std::int64_t>(pdf.images[0].dictionaryOffset));
    EXPECT_EQ(written[0].inputEnd, static_cast<std::int64_t>(pdf.images[0].jpegEnd));
    const auto shift = [&](std::size_t i) {
        return written[i].outputLength - (written[i].inputEnd - written[i].inputBegin);
    };
    EXPECT_EQ(static_cast<std::int64_t>(output.size()),
              static_cast<std::int64_t>(pdf.bytes.size()) + shift(0) + shift(1));
}

TEST_F(EditedPdf, GrayRuleAppliesOnlyToColourImagesInTheTwoGrayingModes) {
    const Bytes& colour = test::colourJpeg();
    const FixturePdf pdf = test::makeFixturePdf({fixtureImage(colour), fixtureImage(colour)});
    const std::vector<std::pair<std::int32_t, bool>> modes = {
        {0, false}, {kAuto, false}, {kYellowing, true}, {kGrayscale, true}, {kManual, false}};
    for (const auto& [mode, grays] : modes) {
        prepare(pdf.bytes);
        records[0].componentCount = 3;
        records[1].componentCount = 1;
        const std::string output = testing::toString(write(pdf.bytes, mode));
        const std::size_t second = output.find("/ColorSpace", output.find("/ColorSpace") + 1);
        EXPECT_EQ(output.substr(output.find("/ColorSpace"), 23),
                  grays ? "/ColorSpace /DeviceGray" : "/ColorSpace /DeviceRGB ")
            << "mode " << mode;
        EXPECT_EQ(output.substr(second, 22), "/ColorSpace /DeviceRGB")
            << "a gray-decoded image keeps its entry";
    }
}

TEST_F(EditedPdf, UnchangedImagesWithCanonicalDictionariesGiveTheInputBack) {
    if (!testing::toolAvailable("qpdf")) GTEST_SKIP() << "qpdf is missing";
    FixtureImage image = fixtureImage(test::colourJpeg(), "stream\r\n");
    image.dictionary =
        "<< /Type /XObject /Subtype /Image /Width %W /Height %H /ColorSpace %CS "
        "/BitsPerComponent 8 /Filter /DCTDecode /Length %L>>";
    const FixturePdf pdf = test::makeFixturePdf({image, image, image});
    prepare(pdf.bytes);
    const Bytes output = write(pdf.bytes, kGrayscale);  // every componentCount is 1: no gray rewrite
    EXPECT_EQ(output, pdf.bytes);
    EXPECT_EQ(testing::runCommand("qpdf --check " + testing::quote(dir.file("out.pdf"))).exitStatus, 0);
}

TEST_F(EditedPdf, StreamKeywordWithLineFeedAloneComesOutWithCrLf) {
    const FixturePdf pdf = test::makeFixturePdf({fixtureImage(test::colourJpeg(), "stream\n")});
    prepare(pdf.bytes);
    const Bytes output = write(pdf.bytes, kAuto);
    const std::size_t at = test::find(output, ">>stream");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(testing::toString(slice(output, at, at + 10)), ">>stream\r\n");
    EXPECT_EQ(slice(output, at + 10, at + 10 + test::colourJpeg().size()), test::colourJpeg());
}

TEST_F(EditedPdf, PatchesAreSplicedAndReportedInInputOrder) {
    const FixturePdf pdf = test::makeFixturePdf({fixtureImage(test::colourJpeg())});
    prepare(pdf.bytes);
    const std::string text = testing::toString(pdf.bytes);
    const std::size_t startxref = text.rfind("startxref\n") + 10;
    const std::size_t digitsEnd = text.find('\n', startxref);
    const std::vector<ByteSplice> patches = {
        {5, 8, "1.7"},  // the header's version, before the image
        {static_cast<std::int64_t>(startxref), static_cast<std::int64_t>(digitsEnd), "123456789"},
    };
    const Bytes output = write(pdf.bytes, kAuto, patches);
    ASSERT_EQ(written.size(), 3u);
    EXPECT_EQ(written[0], patches[0].range());
    EXPECT_EQ(written[1], plannedImageReplacements(records)[0]);
    EXPECT_EQ(written[2], patches[1].range());
    const std::string out = testing::toString(output);
    EXPECT_EQ(out.substr(0, 9), "%PDF-1.7\n");
    EXPECT_EQ(out.substr(out.rfind("startxref\n")), "startxref\n123456789\n%%EOF\n");
}

TEST_F(EditedPdf, PatchOverlappingAnImageIsACallersMistake) {
    const FixturePdf pdf = test::makeFixturePdf({fixtureImage(test::colourJpeg())});
    prepare(pdf.bytes);
    updateStreamLengths(records, names);
    const std::vector<ByteSplice> patches = {{static_cast<std::int64_t>(pdf.images[0].jpegEnd) - 1,
                                              static_cast<std::int64_t>(pdf.images[0].jpegEnd) + 1, "x"}};
    OutputFile output(dir.file("out.pdf"));
    EXPECT_THROW(writeEditedPdf(output, pdf.bytes, records, names, kAuto, patches), std::logic_error);
}

TEST_F(EditedPdf, MissingTemporaryImageRaisesTheFileException) {
    const FixturePdf pdf = test::makeFixturePdf({fixtureImage(test::colourJpeg())});
    prepare(pdf.bytes);
    ASSERT_TRUE(removeFile(names[0]));
    EXPECT_THROW(updateStreamLengths(records, names), CFileException);
}

TEST_F(EditedPdf, TemporaryImageChangedAfterItsLengthWasTakenIsNotWritten) {
    const FixturePdf pdf = test::makeFixturePdf({fixtureImage(test::colourJpeg())});
    prepare(pdf.bytes);
    updateStreamLengths(records, names);
    testing::writeBytes(names[0], slice(test::colourJpeg(), 0, 100));
    OutputFile output(dir.file("out.pdf"));
    EXPECT_THROW(writeEditedPdf(output, pdf.bytes, records, names, kAuto), CFileException);
}

TEST_F(EditedPdf, MoreThanAThousandImagesAreAllReplaced) {
    const auto& gray = test::grayJpeg();
    if (!gray) GTEST_SKIP() << "cjpeg is missing";
    std::vector<FixtureImage> images(1003, fixtureImage(*gray));
    const FixturePdf pdf = test::makeFixturePdf(images);
    prepare(pdf.bytes);
    ASSERT_EQ(records.size(), 1003u);
    EXPECT_EQ(names[1002], dir.file("_image_1002.jpg"));
    const Bytes marker = slice(*gray, 0, gray->size() - 10);
    correct(1002, marker, 1);
    correct(0, marker, 1);
    const Bytes output = write(pdf.bytes, kAuto);
    EXPECT_EQ(written.size(), 1003u);
    // Per image "/Length n >>" loses its blank and "stream\n" gains a CR; two images are 10 bytes shorter.
    EXPECT_EQ(output.size(), pdf.bytes.size() - 20);
    const std::size_t last = testing::toString(output).rfind(">>stream\r\n") + 10;
    EXPECT_EQ(slice(output, last, last + marker.size()), marker);
}

// ---- the file layer ----------------------------------------------------------------------------

TEST(FileLayer, OpeningOrCreatingFailuresRaiseTheFileExceptionWithThePath) {
    testing::ScratchDir dir;
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
}

TEST(FileLayer, DataThatCannotBeWrittenRaisesTheFileExceptionOnClose) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    OutputFile full("/dev/full");
    full.write(std::string_view("buffered until the flush"));
    EXPECT_THROW(full.close(), CFileException);
}

TEST(FileLayer, WrittenBytesReadBackWhole) {
    testing::ScratchDir dir;
    Bytes bytes(70000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    {
        OutputFile out(dir.file("a.bin"));
        out.write(std::span<const std::uint8_t>(bytes).first(1000));
        out.write(std::string_view("xyz"));
        out.write(std::span<const std::uint8_t>(bytes).subspan(1000));
        out.close();
    }
    InputFile in(dir.file("a.bin"));
    EXPECT_EQ(in.length(), 70003);
    const Bytes back = in.readAll();
    EXPECT_EQ(back.size(), 70003u);
    EXPECT_EQ(testing::toString(Bytes(back.begin() + 1000, back.begin() + 1003)), "xyz");
    EXPECT_EQ(readWholeFile(dir.file("a.bin")), back);
    EXPECT_TRUE(removeFile(dir.file("a.bin")));
}

}  // namespace
}  // namespace pagewash
