// Every PDF of the corpus, rewritten with its images copied unchanged: the image streams, every byte
// outside the replaced ranges and each rewritten /Length must hold.
#include <gtest/gtest.h>

#include <fstream>
#include <filesystem>
#include <set>
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

struct ManifestRow {
    std::string file;
    int jfifHits = 0;
    int streamHits = 0;  // hits that start a stream: every context but thumbnails and inline images
};

std::vector<ManifestRow> readManifest() {
    std::ifstream in(testing::corpusPath("manifest.tsv"));
    std::string line;
    std::getline(in, line);
    std::vector<std::string> header;
    {
        std::stringstream columns(line);
        for (std::string column; std::getline(columns, column, '\t');) header.push_back(column);
    }
    auto column = [&](const std::string& name) {
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    const std::size_t fileColumn = column("file"), hitsColumn = column("jfif_hits"),
                      contextsColumn = column("jfif_contexts");
    std::vector<ManifestRow> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() <= contextsColumn) continue;
        ManifestRow row;
        row.file = fields[fileColumn];
        row.jfifHits = std::stoi(fields[hitsColumn]);
        std::stringstream contexts(fields[contextsColumn]);
        for (std::string context; std::getline(contexts, context, ',');) {
            const auto colon = context.find(':');
            if (colon == std::string::npos) continue;
            const std::string kind = context.substr(0, colon);
            if (kind == "embedded-mid-stream" || kind == "inline") continue;
            row.streamHits += std::stoi(context.substr(colon + 1));
        }
        rows.push_back(row);
    }
    return rows;
}

class CorpusRewrite : public ::testing::TestWithParam<ManifestRow> {};

TEST_P(CorpusRewrite, ImagesCopiedUnchangedKeepEveryOtherByte) {
    const ManifestRow& row = GetParam();
    const Bytes input = testing::readBytes(testing::corpusPath("pdf/" + row.file));
    ASSERT_TRUE(isPdf(input));
    std::vector<ImageRecord> records = findJpegStreams(input);
    ASSERT_EQ(static_cast<int>(records.size()), row.streamHits);
    if (records.empty()) return;  // no output for a file without JFIF stream

    const auto read = readImageDictionaries(input, records);
    ASSERT_TRUE(read) << describeRefusal(row.file, read.refusal());
    sortImageRecords(records);
    ASSERT_TRUE(checkImageRanges(input, records));

    testing::ScratchDir dir;
    std::vector<std::string> names;
    for (std::size_t r = 0; r < records.size(); ++r)
        names.push_back(dir.file(tempImageName(static_cast<int>(r))));
    writeTempImages(input, records, names);
    updateStreamLengths(records, names);
    OutputFile file(dir.file("out.pdf"));
    const auto ranges =
        writeEditedPdf(file, input, records, names, static_cast<std::int32_t>(ColorMode::Auto));
    file.close();
    const Bytes output = testing::readBytes(dir.file("out.pdf"));
    ASSERT_EQ(ranges, plannedImageReplacements(records));

    // Walk input and output together.
    std::int64_t in = 0, out = 0;
    auto at = [](const Bytes& bytes, std::int64_t offset) {
        return bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    };
    for (std::size_t r = 0; r < records.size(); ++r) {
        const ImageRecord& record = records[r];
        const ReplacedRange& range = ranges[r];
        const std::int64_t copied = range.inputBegin - in;
        ASSERT_TRUE(std::equal(at(input, in), at(input, range.inputBegin), at(output, out)))
            << "bytes before image " << r << " differ";
        out += copied;
        const std::int64_t outJpeg = out + range.outputLength - record.jpegLength;
        ASSERT_TRUE(std::equal(at(input, record.jpegOffset), at(input, record.jpegEnd), at(output, outJpeg)))
            << "image " << r << " differs";
        EXPECT_EQ(testing::toString(Bytes(at(output, outJpeg - 10), at(output, outJpeg))), ">>stream\r\n");
        DictionaryTokens tokens;
        EXPECT_EQ(parseImageDictionary(output, static_cast<std::int32_t>(outJpeg), tokens), out);
        EXPECT_EQ(readStreamLength(tokens), record.jpegEnd - record.jpegOffset) << "image " << r;
        in = range.inputEnd;
        out += range.outputLength;
    }
    ASSERT_EQ(static_cast<std::int64_t>(output.size()) - out, static_cast<std::int64_t>(input.size()) - in);
    EXPECT_TRUE(std::equal(at(input, in), input.end(), at(output, out))) << "the tail differs";
    EXPECT_EQ(findJpegStreams(output).size(), records.size());
    // Real readers are not asked here: until the cross-reference offsets are corrected, what they
    // make of a shifted file depends on how they rebuild its table.
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusRewrite, ::testing::ValuesIn(readManifest()),
                         [](const ::testing::TestParamInfo<ManifestRow>& info) {
                             std::string name = info.param.file.substr(0, info.param.file.size() - 4);
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(CorpusSearch, ManifestListsEveryCorpusPdf) {
    std::set<std::string> files, listed;
    for (const auto& entry : std::filesystem::directory_iterator(testing::corpusPath("pdf")))
        files.insert(entry.path().filename().string());
    for (const ManifestRow& row : readManifest()) listed.insert(row.file);
    EXPECT_FALSE(files.empty());
    EXPECT_EQ(listed, files) << "every corpus PDF is rewritten by the test above";
}

TEST(CorpusSearch, ExifThumbnailInsideThePhotoIsNotAnImage) {
    const Bytes input = testing::readBytes(testing::corpusPath("pdf/samplefiles_pdflatex-image.pdf"));
    std::vector<ImageRecord> records = findJpegStreams(input);
    ASSERT_EQ(records.size(), 1u);
    ASSERT_TRUE(readImageDictionaries(input, records));
    // The second JFIF signature, the thumbnail's, lies inside the photo's stream data.
    const std::string text = testing::toString(input);
    const std::size_t first = text.find("JFIF"), second = text.find("JFIF", first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(records[0].jpegOffset, static_cast<std::int32_t>(first - 6));
    EXPECT_GT(static_cast<std::int32_t>(second), records[0].jpegOffset);
    EXPECT_LT(static_cast<std::int32_t>(second), records[0].jpegEnd);
    EXPECT_NE(text.substr(static_cast<std::size_t>(records[0].jpegOffset) - 8, 8).find("stream"),
              std::string::npos);
}

TEST(CorpusSearch, InlineImageInAContentStreamIsNotAnImage) {
    const Bytes input = testing::readBytes(testing::corpusPath("pdf/qpdf_damaged-inline-image.pdf"));
    ASSERT_NE(test::find(input, "JFIF"), std::string::npos);
    EXPECT_TRUE(findJpegStreams(input).empty());
}

}  // namespace
}  // namespace pagewash
