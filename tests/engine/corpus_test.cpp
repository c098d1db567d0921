// Every data PDF, and PDFs made by real producers, bleached by the batch run with the default settings:
// each image stream is what the image worker alone makes of its JPEG, every other byte is kept except
// the planned cross-reference corrections, and qpdf, pdftotext and pdfimages read the output as the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/batch/batch_run.h"
#include "engine/images/edited_pdf_writer.h"
#include "engine/images/temp_images.h"
#include "engine/xref/xref_correction.h"
#include "imaging/image_worker.h"
#include "tests/support/process_image_file.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

struct Source {
    const char* name;
    std::size_t imageStreams;  // JFIF hits that start a stream (not thumbnails inside a JPEG, not inline)
    const char* command = "";  // a producer: %IN a data file, %OUT the PDF; empty: the data file itself
    const char* producerInput = "";
};

const Source kSources[] = {
    {"govdocs_459011.pdf", 3},     // linearized, hybrid /XRefStm, object streams
    {"govdocs_486832.pdf", 1},     // 8 incremental updates
    {"ocrmypdf_c02-22.pdf", 1},    // ICCBased, indirect /Length
    {"ocrmypdf_overlay.pdf", 1},   // "stream\r\n", indirect ICCBased colour space
    {"opf_veraPDFHiRes.pdf", 0},   // Adobe JPEG, no JFIF
    {"pikepdf_cmyk-jpeg.pdf", 1},  // CMYK: left as it is
    {"pikepdf_congress-gray.pdf", 1},
    {"pikepdf_congress.pdf", 1},           // [ /DCTDecode ] array
    {"qpdf_damaged-inline-image.pdf", 0},  // JFIF in an inline image
    {"qpdf_image-streams-small.pdf", 2},
    {"qpdf_indirect-filter.pdf", 2},
    {"qpdf_jpeg-qstream.pdf", 1},
    {"qpdf_shared-form-images.pdf", 12},
    {"samplefiles_imagemagick-images.pdf", 2},  // a /Thumb stream without /Subtype
    {"samplefiles_pdflatex-image.pdf", 1},      // Exif thumbnail inside the photo; xref stream
    {"img2pdf.pdf", 1, "img2pdf %IN -o %OUT", "pikepdf_congress_im0.jpg"},
    {"ghostscript.pdf", 1, "gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=%OUT %IN",
     "pikepdf_congress.pdf"},
    {"qpdf_qdf.pdf", 1, "qpdf --qdf --object-streams=disable %IN %OUT", "ocrmypdf_c02-22.pdf"},
};

class CorpusRoundTrip : public ::testing::TestWithParam<Source> {};

TEST_P(CorpusRoundTrip, ImagesAreTheWorkersAndEveryOtherByteIsKeptOrCorrected) {
    const Source& source = GetParam();
    PAGEWASH_REQUIRE_TOOLS({"qpdf", "pdftotext", "pdfimages", "img2pdf", "gs"});
    ScratchDir dir;
    const std::string input = dir.file("in.pdf");
    if (*source.command == '\0') {
        std::filesystem::copy_file(dataFile(source.name), input);
    } else {
        std::string command = source.command;
        command.replace(command.find("%IN"), 3, quote(dataFile(source.producerInput)));
        command.replace(command.find("%OUT"), 4, quote(input));
        ASSERT_EQ(runCommand(command).exitStatus, 0) << command;
    }
    const Bytes in = readBytes(input);
    std::vector<ImageRecord> records = readImages(in);
    ASSERT_EQ(records.size(), source.imageStreams);

    // The image worker alone on each JPEG, and the corrections planned for the lengths it gives.
    const CorrectionSettings settings;
    std::vector<std::string> alone;
    std::vector<std::int32_t> components(records.size(), 1);
    for (std::size_t r = 0; r < records.size(); ++r) {
        alone.push_back(dir.file(tempImageName(static_cast<int>(r))));
        writeBytes(alone.back(), Bytes(in.begin() + records[r].jpegOffset, in.begin() + records[r].jpegEnd));
        ProcessImageJob(alone.back(), &components[r], settings);
        decideRewrite(records[r], components[r], false, settings.colorMode);
    }
    updateStreamLengths(records, alone);
    const std::vector<ReplacedRange> images = plannedImageReplacements(records);
    const XrefCorrection correction = planXrefCorrection(in, images);

    RecordingFrontEnd frontEnd;
    BatchOptions options;
    options.workerStartPauseMs = options.finalPauseMs = 0;
    options.temporaryRoot = dir.path();
    ASSERT_EQ(BatchRun(frontEnd, {input}, options), 0u);
    EXPECT_TRUE(frontEnd.refusals.empty()) << frontEnd.refusals[0];
    const std::string output = editedPdfPath(input);
    if (records.empty()) {
        EXPECT_FALSE(fileExists(output)) << "a file without JFIF stream gives no output";
        return;
    }
    const Bytes out = readBytes(output);

    // Walk input and output together through the image ranges and the patches (index < 0), in input order.
    std::vector<std::pair<ReplacedRange, int>> steps;
    for (std::size_t k = 0; k < images.size(); ++k) steps.emplace_back(images[k], static_cast<int>(k));
    for (std::size_t k = 0; k < correction.patches.size(); ++k)
        steps.emplace_back(correction.patches[k].range(), -1 - static_cast<int>(k));
    std::sort(steps.begin(), steps.end(),
              [](const auto& a, const auto& b) { return a.first.inputBegin < b.first.inputBegin; });
    std::int64_t i = 0, o = 0;
    const auto at = [](const Bytes& bytes, std::int64_t offset) { return bytes.begin() + offset; };
    for (const auto& [range, index] : steps) {
        ASSERT_LE(o + range.inputBegin - i + range.outputLength, static_cast<std::int64_t>(out.size()));
        ASSERT_TRUE(std::equal(at(in, i), at(in, range.inputBegin), at(out, o)))
            << "bytes before input offset " << range.inputBegin;
        o += range.inputBegin - i;
        if (index >= 0) {
            const Bytes jpeg = readBytes(alone[static_cast<std::size_t>(index)]);
            const std::int64_t jpegAt = o + range.outputLength - static_cast<std::int64_t>(jpeg.size());
            EXPECT_EQ(toString(Bytes(at(out, jpegAt - 10), at(out, jpegAt))), ">>stream\r\n");
            ASSERT_TRUE(std::equal(jpeg.begin(), jpeg.end(), at(out, jpegAt))) << "image " << index;
            DictionaryTokens tokens;
            EXPECT_EQ(parseImageDictionary(out, static_cast<std::int32_t>(jpegAt), tokens), o);
            EXPECT_EQ(readStreamLength(tokens), static_cast<std::int32_t>(jpeg.size()));
            // A colour image the default settings turn gray.
            const bool gray =
                toString(Bytes(at(out, o), at(out, jpegAt))).find("/DeviceGray") != std::string::npos;
            EXPECT_TRUE(gray || components[static_cast<std::size_t>(index)] != 3) << "image " << index;
        } else {
            EXPECT_EQ(toString(Bytes(at(out, o), at(out, o + range.outputLength))),
                      correction.patches[static_cast<std::size_t>(-1 - index)].bytes);
        }
        i = range.inputEnd;
        o += range.outputLength;
    }
    ASSERT_EQ(static_cast<std::int64_t>(out.size()) - o, static_cast<std::int64_t>(in.size()) - i);
    EXPECT_TRUE(std::equal(at(in, i), in.end(), at(out, o))) << "the tail differs";

    // What real readers make of it.
    const int checkIn = runCommand("qpdf --check " + quote(input)).exitStatus;
    const int checkOut = runCommand("qpdf --check " + quote(output)).exitStatus;
    EXPECT_TRUE(checkOut == 0 || (checkOut == 3 && checkIn != 0))
        << "qpdf --check exit " << checkIn << " -> " << checkOut;
    EXPECT_EQ(pdfText(output), pdfText(input));
    const auto before = listImages(input), after = listImages(output);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t k = 0; k < before.size(); ++k) {
        EXPECT_EQ(after[k].line, before[k].line);
        EXPECT_TRUE(after[k].color == before[k].color || after[k].color == "gray") << before[k].line;
    }
}

INSTANTIATE_TEST_SUITE_P(Data, CorpusRoundTrip, ::testing::ValuesIn(kSources), [](const auto& info) {
    std::string name = info.param.name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

TEST(CorpusRoundTrip, EveryDataPdfIsInTheTable) {
    std::vector<std::string> listed;
    for (const Source& source : kSources)
        if (*source.command == '\0') listed.push_back(source.name);
    EXPECT_EQ(listed, dataPdfs()) << "in the order of the data folder";
}

}  // namespace
}  // namespace pagewash::testing
