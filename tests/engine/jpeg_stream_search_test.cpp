#include "engine/images/jpeg_stream_search.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/images/edited_pdf_writer.h"
#include "engine/images/image_ranges.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using testing::Bytes;
using namespace std::string_literals;

const std::string kJpegStart = "\xFF\xD8\xFF\xE0\x00\x10JFIF"s;  // the JFIF signature at +6

// `size` filler bytes with a stream keyword and a JPEG start whose "JFIF" begins at each signature.
Bytes streamsAt(std::size_t size, const std::vector<std::size_t>& signatures,
                const std::string& prefix = ">>stream\n", const std::string& start = kJpegStart) {
    Bytes bytes(size, '.');
    for (const std::size_t s : signatures) {
        std::memcpy(bytes.data() + s - 6 - prefix.size(), prefix.data(), prefix.size());
        std::memcpy(bytes.data() + s - 6, start.data(), start.size());
    }
    return bytes;
}

std::vector<std::int32_t> offsets(const std::vector<ImageRecord>& records) {
    std::vector<std::int32_t> result;
    for (const auto& record : records) result.push_back(record.jpegOffset);
    return result;
}

TEST(JpegStreamSearch, HitsOfEveryPhaseSortIntoFileOrder) {
    std::vector<ImageRecord> records =
        findJpegStreams(streamsAt(1200, {103, 200, 302, 401, 500, 607, 702, 801}));
    sortImageRecords(records);
    EXPECT_EQ(offsets(records), (std::vector<std::int32_t>{97, 194, 296, 395, 494, 601, 696, 795}));
}

TEST(JpegStreamSearch, TheLast128BytesAreNeverSearched) {
    // 160 bytes: a quarter is 8, positions 0..31 are examined.
    EXPECT_EQ(findJpegStreams(streamsAt(160, {31})).size(), 1u);
    EXPECT_EQ(findJpegStreams(streamsAt(160, {32})).size(), 0u);
    EXPECT_EQ(findJpegStreams(streamsAt(163, {32})).size(), 0u);
    EXPECT_EQ(findJpegStreams(streamsAt(164, {32})).size(), 1u);
    EXPECT_EQ(findJpegStreams(streamsAt(131, {20})).size(), 0u) << "shorter than 132 bytes: not searched";
    EXPECT_EQ(findJpegStreams({}).size(), 0u);
}

struct Hit {
    std::string prefix;
    std::string start;
    bool counts;
};
class JpegStreamStart : public ::testing::TestWithParam<Hit> {};
TEST_P(JpegStreamStart, OnlyAStartOfImageRightAfterTheStreamKeywordCounts) {
    const auto records = findJpegStreams(streamsAt(600, {300}, GetParam().prefix, GetParam().start));
    ASSERT_EQ(records.size(), GetParam().counts ? 1u : 0u) << "prefix '" << GetParam().prefix << "'";
    if (GetParam().counts) {
        EXPECT_EQ(records[0].jpegOffset, 294);
    }
}
INSTANTIATE_TEST_SUITE_P(
    Cases, JpegStreamStart,
    ::testing::Values(Hit{">>stream\n", kJpegStart, true}, Hit{">>stream\r\n", kJpegStart, true},
                      Hit{">>stream\r", kJpegStart, true}, Hit{">> \r\n stream\n", kJpegStart, true},
                      Hit{">>\nstream\r\n", kJpegStart, true}, Hit{">>stream\n\n", kJpegStart, false},
                      Hit{">>stream\r\n\r\n", kJpegStart, false}, Hit{">>stream", kJpegStart, false},
                      Hit{">>stream ", kJpegStart, false}, Hit{"> >stream\n", kJpegStart, false},
                      Hit{"endstream\n", kJpegStart, false}, Hit{">>xstream\n", kJpegStart, false},
                      Hit{"ID ", kJpegStart, false}, Hit{">>stream\n\x00"s, kJpegStart, false},
                      Hit{">>stream\n", "\xFF\xD8\xFF\xE1\x00\x10JFIF"s, true},  // FF D8 six bytes before
                      Hit{">>stream\n", "\xFF\xD9\xFF\xE0\x00\x10JFIF"s, false}));

TEST(JpegStreamSearch, ThumbnailInsideAnotherJpegIsNotAStream) {
    const std::string outer =
        kJpegStart + "\x01\x01....\xFF\xE1\x01\x00Exif\x00\x00"s + std::string(20, 'x') + kJpegStart;
    Bytes bytes = streamsAt(800, {106}, ">>stream\n", outer);
    const auto records = findJpegStreams(bytes);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].jpegOffset, 100);
}

TEST(JpegStreamSearch, MoreThan512ImagesAreAllFound) {
    std::vector<std::size_t> signatures;
    for (std::size_t i = 0; i < 600; ++i) signatures.push_back(100 + i * 40);
    auto records = findJpegStreams(streamsAt(100 + 600 * 40 + 200, signatures));
    ASSERT_EQ(records.size(), 600u);
    sortImageRecords(records);
    for (std::size_t i = 0; i < 600; ++i)
        ASSERT_EQ(records[i].jpegOffset, static_cast<std::int32_t>(94 + i * 40));
}

TEST(OutputPath, LastFourCharactersGiveWayToEditSuffix) {
    const std::pair<const char*, const char*> cases[] = {
        {"D:\\a.PDF", "D:\\a_edit.pdf"},
        {"D:\\doc.p", "D:\\d_edit.pdf"},
        {"/in/x_edit.pdf", "/in/x_edit_edit.pdf"},
        {"/in/本本本本本", "/in/本_edit.pdf"},  // characters, not bytes
        {"/in/ab", "/in/_edit.pdf"},            // the folder part is kept
        {"ab", "_edit.pdf"}};
    for (const auto& [input, output] : cases) EXPECT_EQ(editedPdfPath(input), output) << input;
}

}  // namespace
}  // namespace pagewash
