// The preview's promise: its "after" pixels are the decoding of the very JPEG the bleach writes into the
// edited PDF for the same image and settings.
#include "preview/image_preview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/batch/batch_run.h"
#include "preview/pdf_images.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

bool samePixels(const DecodedImage& a, const DecodedImage& b) {
    return a.width == b.width && a.height == b.height && a.components == b.components &&
           std::equal(a.pixels.get(), a.pixels.get() + a.size(), b.pixels.get());
}

// Written once: pages.pdf, a colour and a gray page; cmyk.pdf, an image the bleach leaves as it is.
class PreviewTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_scratch = std::make_unique<ScratchDir>();
        FixtureImage gray;
        gray.jpeg = grayJpeg();
        writeBytes(*s_scratch / "pages.pdf", makeFixturePdf({FixtureImage{}, gray}).bytes);
        writeBytes(*s_scratch / "cmyk.pdf", readBytes(dataFile("pikepdf_cmyk-jpeg.pdf")));
    }
    static inline std::unique_ptr<ScratchDir> s_scratch;
};

// Every colour mode with every gray mode; the blur mode turns so that each meets every other mode.
class PreviewMatchesBleach : public PreviewTest,
                             public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(PreviewMatchesBleach, AfterIsTheDecodingOfTheBleachedJpeg) {
    CorrectionSettings settings;
    std::tie(settings.colorMode, settings.grayMode) = GetParam();
    settings.blurMode = (settings.colorMode + settings.grayMode) % 3;
    settings.blurStrength = 2;
    for (const std::string name : {"pages", "cmyk"}) {
        const std::string input = s_scratch->file(name + ".pdf");
        RecordingFrontEnd frontEnd;
        frontEnd.settingsQueue.push_back(settings);
        BatchRun(frontEnd, {input});
        ASSERT_TRUE(frontEnd.refusals.empty()) << frontEnd.refusals.front();
        const Bytes edited = readBytes(s_scratch->file(name + "_edit.pdf"));
        const std::vector<ImageRecord> written = readImages(edited);
        const Result<PdfImages> images = PdfImages::read(input);
        ASSERT_TRUE(images.ok()) << images.refusal().reason;
        ASSERT_EQ(static_cast<std::size_t>(images->count()), written.size());
        for (int i = 0; i < images->count(); ++i) {
            SCOPED_TRACE(name + " image " + std::to_string(i + 1));
            const std::span<const std::uint8_t> bleached(edited.data() + written[i].jpegOffset,
                                                         static_cast<std::size_t>(written[i].jpegLength));
            const Result<DecodedImage> expected = decodeJpegBytes(bleached);
            ASSERT_TRUE(expected.ok());
            const Result<ImagePreview> preview = previewJpeg(images->jpeg(i).value(), settings);
            ASSERT_TRUE(preview.ok()) << preview.refusal().reason;
            EXPECT_EQ(preview->bytesAfter, bleached.size());
            EXPECT_TRUE(samePixels(*expected, preview->after));
            EXPECT_TRUE(preview->changed || samePixels(preview->before, preview->after));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPairOfModes, PreviewMatchesBleach,
                         ::testing::Combine(::testing::Range(0, 5), ::testing::Range(0, 3)));

TEST_F(PreviewTest, NumbersImagesAsTheBleachDoesAndRefusesFilesWithoutOne) {
    const Result<PdfImages> images = PdfImages::read(s_scratch->file("pages.pdf"));
    ASSERT_TRUE(images.ok() && images->count() == 2);
    EXPECT_EQ(images->jpeg(1).value(), grayJpeg());
    writeBytes(*s_scratch / "none.pdf", toBytes("%PDF-1.4\n%%EOF\n"));
    EXPECT_EQ(PdfImages::read(s_scratch->file("none.pdf")).refusal().reason,
              s_scratch->file("none.pdf") + ": no JPEG image");
    EXPECT_FALSE(PdfImages::read(s_scratch->file("missing.pdf")).ok());
}

TEST(Displayable, CmykBecomesRgbAsEachInkTimesTheBlackOver255RoundedForEveryPairOfBytes) {
    // Pixel (x, y) holds C' = x, M' = 255 - x, Y' = (x + y) mod 256 and K' = y: every ink value meets
    // every black value. As libjpeg gives an Adobe CMYK JPEG, the values are stored inverted.
    DecodedImage cmyk;
    cmyk.width = cmyk.height = 256;
    cmyk.components = 4;
    cmyk.pixels = std::make_unique<std::uint8_t[]>(cmyk.size());
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            std::uint8_t* pixel = cmyk.pixels.get() + (y * 256 + x) * 4;
            pixel[0] = std::uint8_t(x), pixel[1] = std::uint8_t(255 - x), pixel[2] = std::uint8_t(x + y);
            pixel[3] = std::uint8_t(y);
        }
    const DecodedImage rgb = displayable(std::move(cmyk));
    ASSERT_EQ(rgb.components, 3);
    ASSERT_EQ(rgb.width * rgb.height, 256 * 256);
    const auto expected = [](int ink, int black) { return std::lround(ink * black / 255.0); };
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const std::uint8_t* pixel = rgb.pixels.get() + (y * 256 + x) * 3;
            ASSERT_TRUE(pixel[0] == expected(x, y) && pixel[1] == expected(255 - x, y) &&
                        pixel[2] == expected((x + y) % 256, y))
                << "first difference at (" << x << ", " << y << "): " << int(pixel[0]) << " " << int(pixel[1])
                << " " << int(pixel[2]);
        }
}

}  // namespace
}  // namespace pagewash::testing
