// The preview's promise: its "after" pixels are the decoding of the very JPEG the bleach writes into the
// edited PDF for the same image and settings.
#include "preview/image_preview.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "engine/batch/batch_run.h"
#include "preview/pdf_images.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

// "" when equal, else the first differing sample.
std::string firstDifference(const DecodedImage& expected, const DecodedImage& actual) {
    if (expected.width != actual.width || expected.height != actual.height ||
        expected.components != actual.components)
        return "size " + std::to_string(actual.width) + " x " + std::to_string(actual.height) + " x " +
               std::to_string(actual.components);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected.pixels[i] == actual.pixels[i]) continue;
        const std::size_t pixel = i / static_cast<std::size_t>(expected.components);
        return "pixel (" + std::to_string(pixel % static_cast<std::size_t>(expected.width)) + ", " +
               std::to_string(pixel / static_cast<std::size_t>(expected.width)) + ") sample " +
               std::to_string(expected.pixels[i]) + " != " + std::to_string(actual.pixels[i]);
    }
    return {};
}

FixtureImage gray() {
    FixtureImage image;
    image.jpeg = grayJpeg();
    return image;
}

// colour mode, gray mode, blur mode
class PreviewMatchesBleach : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(PreviewMatchesBleach, AfterIsTheDecodingOfTheBleachedJpeg) {
    CorrectionSettings settings;
    std::tie(settings.colorMode, settings.grayMode, settings.blurMode) = GetParam();
    settings.blurStrength = 2;
    const ScratchDir scratch;
    // A colour and a gray page, and a CMYK image the bleach leaves as it is.
    writeBytes(scratch / "pages.pdf", makeFixturePdf({FixtureImage{}, gray()}).bytes);
    writeBytes(scratch / "cmyk.pdf", readBytes(dataFile("pikepdf_cmyk-jpeg.pdf")));
    for (const std::string name : {"pages", "cmyk"}) {
        const std::string input = scratch.file(name + ".pdf");
        RecordingFrontEnd frontEnd({input});
        frontEnd.settingsQueue.push_back(settings);
        BatchRun(frontEnd);
        ASSERT_TRUE(frontEnd.refusals.empty()) << frontEnd.refusals.front();
        const Bytes edited = readBytes(scratch.file(name + "_edit.pdf"));
        const std::vector<ImageRecord> written = readImages(edited);
        const Result<PdfImages> images = PdfImages::read(input);
        ASSERT_TRUE(images.ok()) << images.refusal().reason;
        ASSERT_EQ(static_cast<std::size_t>(images->count()), written.size());
        for (int i = 0; i < images->count(); ++i) {
            const std::span<const std::uint8_t> bleached(edited.data() + written[i].jpegOffset,
                                                         static_cast<std::size_t>(written[i].jpegLength));
            const Result<DecodedImage> expected = decodeJpegBytes(bleached);
            ASSERT_TRUE(expected.ok()) << name << " image " << i + 1;
            const Result<ImagePreview> preview = previewJpeg(images->jpeg(i).value(), settings);
            ASSERT_TRUE(preview.ok()) << preview.refusal().reason;
            EXPECT_EQ(preview->bytesAfter, bleached.size()) << name << " image " << i + 1;
            EXPECT_EQ(firstDifference(*expected, preview->after), "") << name << " image " << i + 1;
            if (!preview->changed) {
                EXPECT_EQ(firstDifference(preview->before, preview->after), "");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMode, PreviewMatchesBleach,
                         ::testing::Combine(::testing::Range(0, 5), ::testing::Range(0, 3),
                                            ::testing::Range(0, 3)));

TEST(PdfImages, NumbersImagesAsTheBleachDoesAndRefusesFilesWithoutOne) {
    const ScratchDir scratch;
    const FixturePdf pdf = makeFixturePdf({gray(), FixtureImage{}});
    writeBytes(scratch / "two.pdf", pdf.bytes);
    const Result<PdfImages> images = PdfImages::read(scratch.file("two.pdf"));
    ASSERT_TRUE(images.ok());
    ASSERT_EQ(images->count(), 2);
    EXPECT_EQ(images->jpeg(0).value(), grayJpeg());
    EXPECT_EQ(images->jpeg(1).value(), colourJpeg());
    writeBytes(scratch / "none.pdf", toBytes("%PDF-1.4\n%%EOF\n"));
    EXPECT_EQ(PdfImages::read(scratch.file("none.pdf")).refusal().reason,
              scratch.file("none.pdf") + ": no JPEG image");
    EXPECT_FALSE(PdfImages::read(scratch.file("missing.pdf")).ok());
}

}  // namespace
}  // namespace pagewash::testing
