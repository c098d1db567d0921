// PDFs written by real producers (img2pdf, Ghostscript, qpdf in QDF and object-stream modes), turned
// gray as the workers do in Grayscale mode, then read back by poppler.
#include <gtest/gtest.h>

#include <sstream>

#include "engine/images/edited_pdf_writer.h"
#include "engine/images/image_dictionaries.h"
#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/images/temp_images.h"
#include "engine_test_support.h"
#include "settings/correction_settings.h"

namespace pagewash {
namespace {

using testing::Bytes;

struct Producer {
    const char* name;
    const char* tool;
    const char* command;  // %IN the input, %OUT the output
    const char* input;    // in the corpus
    bool classicXref;     // poppler can rebuild the table of a shifted file
};

std::string substitute(std::string text, const std::string& key, const std::string& value) {
    text.replace(text.find(key), key.size(), value);
    return text;
}

// A line of "pdfimages -list": page, num, type, width, height, color, comp, ...
bool listsGrayImage(const std::string& list, int width, int height) {
    std::istringstream lines(list);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string page, num, type, w, h, color, components;
        fields >> page >> num >> type >> w >> h >> color >> components;
        if (type == "image" && w == std::to_string(width) && h == std::to_string(height) && color == "gray" &&
            components == "1")
            return true;
    }
    return false;
}

class RealProducer : public ::testing::TestWithParam<Producer> {};

TEST_P(RealProducer, ColourImageTurnedGrayIsReadAsGray) {
    const Producer& producer = GetParam();
    for (const char* tool : {producer.tool, "cjpeg", "pdfimages", "pdftoppm"})
        if (!testing::toolAvailable(tool)) GTEST_SKIP() << tool << " is missing";
    testing::ScratchDir dir;
    const std::string made = dir.file("made.pdf");
    std::string command = substitute(producer.command, "%IN", testing::corpusPath(producer.input));
    ASSERT_EQ(testing::runCommand(substitute(command, "%OUT", made)).exitStatus, 0) << command;
    const Bytes input = testing::readBytes(made);

    std::vector<ImageRecord> records = findJpegStreams(input);
    ASSERT_EQ(records.size(), 1u);
    const auto read = readImageDictionaries(input, records);
    ASSERT_TRUE(read) << describeRefusal(made, read.refusal());
    sortImageRecords(records);
    ASSERT_TRUE(checkImageRanges(input, records));
    const std::vector<std::string> names = {dir.file(tempImageName(0))};
    writeTempImages(input, records, names);

    // The worker's result: a gray JPEG of the same size.
    const test::JpegFrame frame = test::jpegFrame(testing::readBytes(names[0]));
    ASSERT_EQ(frame.components, 3);
    std::string pgm = "P5\n" + std::to_string(frame.width) + " " + std::to_string(frame.height) + "\n255\n";
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) pgm.push_back(static_cast<char>((x + y) & 0xFF));
    testing::writeText(dir.file("gray.pgm"), pgm);
    ASSERT_EQ(testing::runCommand("cjpeg -outfile " + testing::quote(names[0]) + " " +
                                  testing::quote(dir.file("gray.pgm")))
                  .exitStatus,
              0);
    records[0].componentCount = 3;
    updateStreamLengths(records, names);

    OutputFile file(dir.file("out.pdf"));
    const auto ranges =
        writeEditedPdf(file, input, records, names, static_cast<std::int32_t>(ColorMode::Grayscale));
    file.close();
    const Bytes output = testing::readBytes(dir.file("out.pdf"));
    const Bytes gray = testing::readBytes(names[0]);

    // Layout: the input up to the dictionary, the rebuilt image, the input after it.
    ASSERT_EQ(ranges.size(), 1u);
    const auto begin = static_cast<std::size_t>(ranges[0].inputBegin);
    const auto end = static_cast<std::size_t>(ranges[0].inputEnd);
    const auto outEnd = begin + static_cast<std::size_t>(ranges[0].outputLength);
    ASSERT_EQ(output.size(), input.size() - (end - begin) + (outEnd - begin));
    EXPECT_TRUE(
        std::equal(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(begin), output.begin()));
    EXPECT_TRUE(std::equal(input.begin() + static_cast<std::ptrdiff_t>(end), input.end(),
                           output.begin() + static_cast<std::ptrdiff_t>(outEnd)));
    EXPECT_TRUE(std::equal(gray.begin(), gray.end(),
                           output.end() - static_cast<std::ptrdiff_t>(input.size() - end) -
                               static_cast<std::ptrdiff_t>(gray.size())));
    const std::string dictionary = testing::toString(Bytes(
        output.begin() + static_cast<std::ptrdiff_t>(begin),
        output.begin() + static_cast<std::ptrdiff_t>(outEnd) - static_cast<std::ptrdiff_t>(gray.size())));
    EXPECT_NE(dictionary.find("/DeviceGray"), std::string::npos) << dictionary;
    EXPECT_NE(dictionary.find("/Length " + std::to_string(gray.size()) + ">>stream\r\n"), std::string::npos)
        << dictionary;
    EXPECT_EQ(dictionary.find("ICCBased"), std::string::npos) << dictionary;

    if (producer.classicXref) {
        const std::string list =
            testing::runCommand("pdfimages -list " + testing::quote(dir.file("out.pdf"))).out;
        EXPECT_TRUE(listsGrayImage(list, frame.width, frame.height)) << list;
        EXPECT_EQ(testing::runCommand("pdftoppm -r 5 -png " + testing::quote(dir.file("out.pdf")) + " " +
                                      testing::quote(dir.file("page")))
                      .exitStatus,
                  0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Producers, RealProducer,
    ::testing::Values(
        Producer{"img2pdf", "img2pdf", "img2pdf '%IN' -o '%OUT'", "img/pikepdf_congress_im0.jpg", true},
        Producer{"ghostscript", "gs", "gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile='%OUT' '%IN'",
                 "pdf/pikepdf_congress.pdf", true},
        Producer{"qpdf_qdf", "qpdf", "qpdf --qdf --object-streams=disable '%IN' '%OUT'",
                 "pdf/ocrmypdf_c02-22.pdf", true},
        Producer{"qpdf_object_streams", "qpdf", "qpdf --object-streams=generate '%IN' '%OUT'",
                 "pdf/ocrmypdf_c02-22.pdf", false}),
    [](const ::testing::TestParamInfo<Producer>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pagewash
