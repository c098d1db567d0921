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

TEST(JpegStreamSearch, OnlyAStartOfImageRightAfterTheStreamKeywordCounts) {
    const auto search = [](const std::string& prefix, const std::string& start = kJpegStart) {
        std::vector<std::int32_t> offsets;
        for (const ImageRecord& record : findJpegStreams(streamsAt(600, {300}, prefix, start)))
            offsets.push_back(record.jpegOffset);
        return offsets;
    };
    const std::string counted[] = {">>stream\n", ">>stream\r\n", ">>stream\r", ">> \r\n stream\n",
                                   ">>\nstream\r\n"};
    for (const std::string& prefix : counted)
        EXPECT_EQ(search(prefix), std::vector<std::int32_t>{294}) << "'" << prefix << "'";
    const std::string ignored[] = {">>stream\n\n",   ">>stream\r\n\r\n", ">>stream",    ">>stream ",
                                   "> >stream\n",    "endstream\n",      ">>xstream\n", "ID ",
                                   ">>stream\n\x00"s};
    for (const std::string& prefix : ignored) EXPECT_TRUE(search(prefix).empty()) << "'" << prefix << "'";
    EXPECT_EQ(search(">>stream\n", "\xFF\xD8\xFF\xE1\x00\x10JFIF"s).size(), 1u) << "FF D8 six bytes before";
    EXPECT_EQ(search(">>stream\n", "\xFF\xD9\xFF\xE0\x00\x10JFIF"s).size(), 0u);
}

TEST(JpegStreamSearch, TheLast128BytesAreNeverSearched) {
    // 160 bytes: a quarter is 8, positions 0..31 are examined.
    for (const auto& [size, signature, found] :
         {std::tuple{160u, 31u, 1u}, {160u, 32u, 0u}, {163u, 32u, 0u}, {164u, 32u, 1u}, {131u, 20u, 0u}})
        EXPECT_EQ(findJpegStreams(streamsAt(size, {signature})).size(), found) << size << " " << signature;
    EXPECT_EQ(findJpegStreams({}).size(), 0u);
}

TEST(JpegStreamSearch, MoreThan512ImagesInEveryPhaseAreAllFoundAndSortIntoFileOrder) {
    std::vector<std::size_t> signatures;
    for (std::size_t i = 0; i < 600; ++i) signatures.push_back(100 + i * 41);
    auto records = findJpegStreams(streamsAt(100 + 600 * 41 + 200, signatures));
    ASSERT_EQ(records.size(), 600u);
    sortImageRecords(records);
    for (std::size_t i = 0; i < 600; ++i)
        ASSERT_EQ(records[i].jpegOffset, static_cast<std::int32_t>(94 + i * 41));
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
