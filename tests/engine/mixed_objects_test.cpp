// A mixed page as the PDF holds it: the form's entries and content, and the page the writer and the
// update make of layers built here, drawn by the readers with one ink colour and with an ink image.
#include "engine/images/mixed_objects.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine/batch/mixed_update.h"
#include "engine/images/edited_pdf_writer.h"
#include "engine/xref/xref_correction.h"
#include "imaging/group4_codec.h"
#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

// A mixed page's form keeps the entries that still mean something for a form, drops the image's, and
// refuses (the image stays a JPEG) what its layers could not carry.
TEST(MixedForm, KeepsWhatAFormMeansAndNamesItsLayers) {
    const auto entries = [](const std::string& dictionary, const MixedNumbers& numbers) {
        const std::optional<std::string> form = mixedFormEntries(toBytes(dictionary), 0, numbers);
        return form ? *form : "(none)";
    };
    const std::string resources =
        "/Subtype /Form/BBox [-0.01 -0.01 1.01 1.01]/Resources <</XObject <</B 20 0 R/M 21 0 R";
    EXPECT_EQ(
        entries("<< /Type /XObject /Subtype /Image /Width 2480 /Height 3508 /ColorSpace [/ICCBased 5 0 R] "
                "/BitsPerComponent 8 /Filter /DCTDecode /Interpolate true /Intent /Perceptual "
                "/StructParent 4 /OC 9 0 R /Metadata 8 0 R /Length 4711 >>stream",
                {20, 21, 0}),
        "/Type /XObject/StructParent 4/OC 9 0 R/Metadata 8 0 R" + resources + ">>>>");
    EXPECT_EQ(entries("<</Width 1/Height 1>>", {20, 21, 22}), resources + "/F 22 0 R>>>>");
    for (const char* kept : {"<</SMask 7 0 R>>", "<</Mask [0 10]>>", "<</Decode [1 0]>>", "<</Width 1"})
        EXPECT_EQ(entries(kept, {20, 21, 0}), "(none)") << kept;
}

TEST(MixedForm, ContentPaintsTheBackgroundThenTheInk) {
    MixedLayout layout;
    layout.inkComponents = 3;
    layout.inkColor = {255, 0, 51};
    EXPECT_EQ(mixedFormContent(layout), "/B Do\n1.000 0.000 0.200 rg\n/M Do\n");
    layout.inkComponents = 1;
    EXPECT_EQ(mixedFormContent(layout), "/B Do\n1.000 g\n/M Do\n");
    layout.inkLength = 10;
    EXPECT_EQ(mixedFormContent(layout), "/B Do\n/F Do\n");
}

// The fixture's 40 x 24 gray image replaced by layers: a mask whose left half is ink, a flat background of
// level 200 and either one blue ink or a red ink image. Each reader draws the ink on the left and the
// background on the right; a mask read the other way round would swap them.
TEST(MixedForm, ReadersPaintTheInkThroughTheMaskAndTheBackgroundElsewhere) {
    PAGEWASH_REQUIRE_TOOLS({"cjpeg", "convert", "qpdf", "pdftoppm", "pdftocairo", "gs", "mutool"});
    FixtureImage gray;
    gray.jpeg = grayJpeg();
    const Bytes input = makeFixturePdf({gray}).bytes;
    ScratchDir dir;
    BilevelImage mask(40, 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 20; ++x) mask.setBlack(x, y);
    const Bytes group4 = encodeGroup4(mask).value();
    const auto jpeg = [&](const std::string& color) {
        const std::string path = dir.file("layer.jpg");
        const CommandResult made =
            runCommand("convert -size 4x3 xc:'" + color + "' -type TrueColor -quality 95 " + quote(path));
        EXPECT_EQ(made.exitStatus, 0) << made.err;
        return readBytes(path);
    };
    const Bytes background = jpeg("rgb(200,200,200)"), red = jpeg("rgb(255,0,0)");
    for (const bool inkImage : {false, true}) {
        SCOPED_TRACE(inkImage ? "ink image" : "one ink colour");
        std::vector<ImageRecord> records = readImages(input);
        MixedLayout layout{.width = 40,
                           .height = 24,
                           .maskLength = static_cast<std::int64_t>(group4.size()),
                           .backgroundLength = static_cast<std::int64_t>(background.size()),
                           .backgroundWidth = 4,
                           .backgroundHeight = 3,
                           .backgroundComponents = 3,
                           .inkComponents = 3,
                           .inkColor = {0, 0, 255}};
        Bytes layers = group4;
        layers.insert(layers.end(), background.begin(), background.end());
        if (inkImage) {
            layers.insert(layers.end(), red.begin(), red.end());
            layout.inkLength = static_cast<std::int64_t>(red.size());
            layout.inkWidth = 4;
            layout.inkHeight = 3;
        }
        const std::vector<std::string> names{dir.file("layers")};
        writeBytes(names[0], layers);
        const auto last = readLastXrefSection(input);
        ASSERT_TRUE(last.ok());
        decideMixedRewrite(records[0], {}, layout);
        const std::vector<MixedNumbers> numbers = mixedNumbers(records, last->size);
        decideMixedRewrite(records[0],
                           mixedFormEntries(input, records[0].dictionaryOffset, numbers[0]).value(), layout);
        const XrefCorrection xref = planXrefCorrection(input, plannedImageReplacements(records));
        const std::string pdf = dir.file("out.pdf");
        OutputFile out(pdf);
        const std::vector<ReplacedRange> written = writeEditedPdf(out, input, records, names, xref.patches);
        out.write(mixedUpdate(input, records, names, written, *last));
        out.close();
        EXPECT_TRUE(qpdfCheckPasses(pdf));
        const std::string in = quote(pdf), png = quote(dir.file("drawn.png"));
        for (const std::string& command :
             {"pdftoppm -r 144 -png -singlefile " + in + " " + quote(dir.file("drawn")),
              "pdftocairo -r 144 -png -singlefile " + in + " " + quote(dir.file("drawn")),
              "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=png16m -r144 -o " + png + " " + in,
              "mutool draw -q -r 144 -o " + png + " " + in}) {
            const CommandResult drawn = runCommand(command + " 2>&1");
            ASSERT_EQ(drawn.exitStatus, 0) << command << ": " << drawn.out;
            // The middle of each half, away from the edges that readers smooth: R G B of the ink, then of
            // the background.
            std::string format;
            for (const char* at : {"p{20,24}", "p{60,24}"})
                for (const char* channel : {"r", "g", "b"})
                    format += std::string("%[fx:round(255*") + at + "." + channel + ")] ";
            std::istringstream drawnPixels(
                runCommand("convert " + png + " -format '" + format + "' info:").out);
            const int expected[6] = {inkImage ? 255 : 0, 0, inkImage ? 0 : 255, 200, 200, 200};
            for (const int value : expected) {
                int read = -100;
                drawnPixels >> read;
                EXPECT_NEAR(read, value, 6) << command;
            }
        }
    }
}

}  // namespace
}  // namespace pagewash::testing
