#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "engine/images/edited_pdf_writer.h"
#include "engine/images/image_dictionaries.h"
#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/images/temp_images.h"
#include "engine_test_support.h"

namespace pagewash {
namespace {

using testing::Bytes;
using testing::toBytes;
using namespace std::string_literals;

constexpr char kJpegStart[] = "\xFF\xD8\xFF\xE0\x00\x10JFIF";  // the JFIF signature at +6
constexpr char kStreamPrefix[] = ">>stream\n";

// A buffer of `size` filler bytes with the given texts placed at the given offsets.
Bytes bufferWith(std::size_t size, const std::vector<std::pair<std::size_t, std::string>>& pieces) {
    Bytes bytes(size, '.');
    for (const auto& [at, text] : pieces) std::memcpy(bytes.data() + at, text.data(), text.size());
    return bytes;
}

// A JPEG start whose "JFIF" begins at `signature`, preceded by the stream keyword.
std::vector<std::pair<std::size_t, std::string>> streamAt(std::size_t signature,
                                                          const std::string& prefix = kStreamPrefix) {
    return {{signature - 6 - prefix.size(), prefix}, {signature - 6, std::string(kJpegStart, 10)}};
}

std::vector<std::int32_t> offsets(const std::vector<ImageRecord>& records) {
    std::vector<std::int32_t> result;
    for (const auto& record : records) result.push_back(record.jpegOffset);
    return result;
}

TEST(PdfRecognition, OnlyTheFirstFourBytesMatter) {
    EXPECT_TRUE(isPdf(toBytes("%PDF")));
    EXPECT_TRUE(isPdf(toBytes("%PDF-9.9 anything")));
    EXPECT_FALSE(isPdf(toBytes("%PD")));
    EXPECT_FALSE(isPdf(toBytes(" %PDF-1.4")));
    EXPECT_FALSE(isPdf(toBytes("\xFF\xD8\xFF\xE0")));
    EXPECT_FALSE(isPdf({}));
}

TEST(JpegStreamSearch, HitsComeInPhaseOrderAndSortIntoFileOrder) {
    auto pieces = streamAt(2000);
    for (auto& piece : streamAt(1001)) pieces.push_back(piece);
    const Bytes bytes = bufferWith(2132, pieces);
    std::vector<ImageRecord> records = findJpegStreams(bytes);
    EXPECT_EQ(offsets(records), (std::vector<std::int32_t>{1994, 995}));
    sortImageRecords(records);
    EXPECT_EQ(offsets(records), (std::vector<std::int32_t>{995, 1994}));
}

TEST(JpegStreamSearch, PhasesOrderManyHits) {
    std::vector<std::pair<std::size_t, std::string>> pieces;
    const std::vector<std::size_t> signatures = {103, 200, 302, 401, 500, 607, 702, 801};
    for (const std::size_t s : signatures)
        for (auto& piece : streamAt(s)) pieces.push_back(piece);
    const auto records = findJpegStreams(bufferWith(1200, pieces));
    // phase 0: 200, 500; phase 1: 401, 801; phase 2: 302, 702; phase 3: 103, 607
    EXPECT_EQ(offsets(records), (std::vector<std::int32_t>{194, 494, 395, 795, 296, 696, 97, 601}));
}

TEST(JpegStreamSearch, TheLast128BytesAreNeverSearched) {
    // 160 bytes: q = 8, positions 0..31 are examined.
    EXPECT_EQ(findJpegStreams(bufferWith(160, streamAt(31))).size(), 1u);
    EXPECT_EQ(findJpegStreams(bufferWith(160, streamAt(32))).size(), 0u);
    EXPECT_EQ(findJpegStreams(bufferWith(163, streamAt(32))).size(), 0u);
    EXPECT_EQ(findJpegStreams(bufferWith(164, streamAt(32))).size(), 1u);
    // Files shorter than 132 bytes are not searched at all.
    EXPECT_EQ(findJpegStreams(bufferWith(131, streamAt(20))).size(), 0u);
    EXPECT_EQ(findJpegStreams(bufferWith(132, {{0, "JFIF"}})).size(), 0u);
    EXPECT_EQ(findJpegStreams({}).size(), 0u);
}

TEST(JpegStreamSearch, JfifCountsOnlyWithStartOfImageSixBytesBefore) {
    const std::string exifFirst = "\xFF\xD8\xFF\xE1\x00\x10JFIF"s;
    EXPECT_EQ(findJpegStreams(bufferWith(400, {{91, kStreamPrefix}, {100, exifFirst}})).size(), 1u)
        << "FF D8 FF E1 with JFIF at +6 still has FF D8 six bytes before";
    EXPECT_EQ(findJpegStreams(bufferWith(400, {{91, kStreamPrefix},
                                               {100,
                                                "\xFF\xE1\x00\x10"
                                                "Exif\x00\x00JFIF"s}}))
                  .size(),
              0u);
    EXPECT_EQ(findJpegStreams(bufferWith(400, {{91, kStreamPrefix}, {100, "\xFF\xD9\xFF\xE0\x00\x10JFIF"s}}))
                  .size(),
              0u);
    EXPECT_EQ(findJpegStreams(bufferWith(400, {{0, "\xD8\xFF\xE0\x00\x10JFIF"s}})).size(), 0u)
        << "a signature too close to the start";
}

TEST(JpegStreamSearch, OnlyJpegsThatStartAStreamCount) {
    const std::vector<std::pair<std::string, bool>> prefixes = {
        {">>stream\n", true},       {">>stream\r\n", true},
        {">>stream\r", true},       {">> \r\n stream\n", true},
        {">>\nstream\r\n", true},   {"/Length 5>>stream\n", true},
        {">>stream\n\n", false},    {">>stream\r\n\r\n", false},
        {">>stream", false},        {">>stream ", false},
        {"> >stream\n", false},     {"endstream\n", false},
        {">>xstream\n", false},     {"ID ", false},
        {">>stream\n\x00"s, false},
    };
    for (const auto& [prefix, counts] : prefixes) {
        const auto records = findJpegStreams(bufferWith(600, streamAt(300, prefix)));
        EXPECT_EQ(records.size(), counts ? 1u : 0u) << "prefix '" << prefix << "'";
        if (counts && !records.empty()) {
            EXPECT_EQ(records[0].jpegOffset, 294);
        }
    }
}

TEST(JpegStreamSearch, ThumbnailInsideAnotherJpegIsNotAStream) {
    // An Exif segment that carries a JFIF thumbnail, inside a stream's JPEG data.
    std::string outer = std::string(kJpegStart, 10) + "\x01\x01" + "....\xFF\xE1\x01\x00"s + "Exif\x00\x00"s +
                        std::string(20, 'x') + std::string(kJpegStart, 10);
    const Bytes bytes = bufferWith(800, {{91, kStreamPrefix}, {100, outer}});
    const auto records = findJpegStreams(bytes);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].jpegOffset, 100);
}

TEST(JpegStreamSearch, MoreThan512ImagesAreAllFound) {
    const std::size_t count = 600;
    std::vector<std::pair<std::size_t, std::string>> pieces;
    for (std::size_t i = 0; i < count; ++i)
        for (auto& piece : streamAt(100 + i * 40)) pieces.push_back(piece);
    auto records = findJpegStreams(bufferWith(100 + count * 40 + 200, pieces));
    ASSERT_EQ(records.size(), count);
    sortImageRecords(records);
    for (std::size_t i = 0; i < count; ++i)
        EXPECT_EQ(records[i].jpegOffset, static_cast<std::int32_t>(94 + i * 40));
}

// ---- the sort -----------------------------------------------------------------------------------

TEST(ImageOrder, SortEqualsTheExchangeSortOnWholeRecords) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        const int n = std::uniform_int_distribution<int>(0, 40)(random);
        std::vector<ImageRecord> records(static_cast<std::size_t>(n));
        std::vector<std::pair<std::int32_t, std::int32_t>> reference;
        for (int i = 0; i < n; ++i) {
            auto& record = records[static_cast<std::size_t>(i)];
            record.jpegOffset =
                std::uniform_int_distribution<std::int32_t>(0, 30)(random);  // repeats allowed
            record.jpegLength = i;                                           // identifies the record
            reference.emplace_back(record.jpegOffset, i);
        }
        // The exchange sort: swap j and j+1 only when strictly greater.
        for (int i = 0; i + 1 < n; ++i)
            for (int j = 0; j + 1 < n - i; ++j)
                if (reference[static_cast<std::size_t>(j)].first >
                    reference[static_cast<std::size_t>(j + 1)].first)
                    std::swap(reference[static_cast<std::size_t>(j)],
                              reference[static_cast<std::size_t>(j + 1)]);
        sortImageRecords(records);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(records[static_cast<std::size_t>(i)].jpegOffset,
                      reference[static_cast<std::size_t>(i)].first);
            EXPECT_EQ(records[static_cast<std::size_t>(i)].jpegLength,
                      reference[static_cast<std::size_t>(i)].second);
        }
    }
}

// ---- names ------------------------------------------------------------------------------------

TEST(TemporaryNames, ThreeDigitsAndUniqueBeyond999) {
    EXPECT_EQ(tempImageName(0), "_image_000.jpg");
    EXPECT_EQ(tempImageName(7), "_image_007.jpg");
    EXPECT_EQ(tempImageName(511), "_image_511.jpg");
    EXPECT_EQ(tempImageName(999), "_image_999.jpg");
    EXPECT_EQ(tempImageName(1000), "_image_1000.jpg");
    std::set<std::string> names;
    for (int i = 0; i < 12000; ++i) names.insert(tempImageName(i));
    EXPECT_EQ(names.size(), 12000u);
}

TEST(OutputPath, LastFourCharactersGiveWayToEditSuffix) {
    EXPECT_EQ(editedPdfPath("C:\\scan\\book.pdf"), "C:\\scan\\book_edit.pdf");
    EXPECT_EQ(editedPdfPath("D:\\a.PDF"), "D:\\a_edit.pdf");
    EXPECT_EQ(editedPdfPath("D:\\doc.p"), "D:\\d_edit.pdf");
    EXPECT_EQ(editedPdfPath("/in/x.pdf"), "/in/x_edit.pdf");
    EXPECT_EQ(editedPdfPath("/in/x_edit.pdf"), "/in/x_edit_edit.pdf");
    EXPECT_EQ(editedPdfPath("/in/資料.pdf"), "/in/資料_edit.pdf");
    EXPECT_EQ(editedPdfPath("/in/本本本本本"), "/in/本_edit.pdf") << "characters, not bytes";
    EXPECT_EQ(editedPdfPath("/in/ab"), "/in/_edit.pdf") << "the folder part is kept";
    EXPECT_EQ(editedPdfPath("ab"), "_edit.pdf");
}

}  // namespace
}  // namespace pagewash
