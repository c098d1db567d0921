// A fixture writes a valid PDF with real JPEG streams; each case damages it one way and names the refusal.
#include "engine/images/image_dictionaries.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using namespace testing;

// The reading steps of the batch run; "(accepted)" or the refusal as the user reads it.
std::string readAs(const Bytes& bytes, std::vector<ImageRecord>& records) {
    records = findJpegStreams(bytes);
    auto result = readImageDictionaries(bytes, records);
    if (result) {
        sortImageRecords(records);
        result = checkImageRanges(bytes, records);
    }
    return result ? std::string("(accepted)") : describeRefusal("book.pdf", result.refusal());
}

FixtureImage withLength(const std::string& text) {
    FixtureImage image;
    image.lengthText = text;
    return image;
}
FixtureImage withDictionary(const std::string& middle, const std::string& end = "/Length %L >>") {
    FixtureImage image;
    image.dictionary =
        "<< /Type /XObject /Subtype /Image /Width %W /Height %H /ColorSpace %CS " + middle + end;
    return image;
}
FixtureImage indirect() {
    FixtureImage image;
    image.indirectLength = true;
    return image;
}
std::string names(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "/K" + std::to_string(i) + " 1 ";
    return text;
}

FixturePdf updated(FixturePdf pdf, std::int64_t value) {
    appendIntegerUpdate(pdf.bytes, pdf.images[0].lengthObject, value);
    return pdf;
}

// The refusal reads "book.pdf: <what> at byte <the offset `where` of image `image`><rest>", with %N the
// object number of the first image's indirect length.
struct Damage {
    const char* name;
    std::function<FixturePdf()> make;
    std::size_t image;
    std::size_t FixtureLayout::*where;
    const char* what;
    std::string rest;
};
constexpr auto kLength = &FixtureLayout::lengthTokenOffset;
constexpr auto kJpeg = &FixtureLayout::jpegOffset;
constexpr auto kDictionary = &FixtureLayout::dictionaryOffset;
const std::string kNoNumber = " is neither a number nor a reference to one";

const Damage kDamages[] = {
    {"LengthPastTheEnd",
     [] {
         return makeFixturePdf({FixtureImage{}, withLength("100000000")});
     },
     1, kLength, "/Length", " runs past the end of the file"},
    {"LengthOverflowingInt32", [] { return makeFixturePdf({withLength("4294967296912")}); }, 0, kLength,
     "/Length", " is larger than 2147483647"},
    {"LengthNoNumber", [] { return makeFixturePdf({withLength("12 0 obj")}); }, 0, kLength, "/Length",
     kNoNumber},
    {"LengthNegative", [] { return makeFixturePdf({withLength("-5")}); }, 0, kLength, "/Length", kNoNumber},
    {"IndirectLengthMissing", [] { return makeFixturePdf({withLength("999 0 R")}); }, 0, kLength, "/Length",
     " refers to object 999 0, which cannot be found"},
    {"IndirectLengthNotInteger", [] { return makeFixturePdf({withLength("1 0 R")}); }, 0, kLength, "/Length",
     " refers to object 1 0, which holds no integer"},
    {"IndirectLengthUpdatedPastTheEnd", [] { return updated(makeFixturePdf({indirect()}), 100000000); }, 0,
     kLength, "/Length", " runs past the end of the file"},
    {"IndirectLengthUpdatedTooLarge", [] { return updated(makeFixturePdf({indirect()}), 2147483648LL); }, 0,
     kLength, "/Length", " refers to object %N 0, which is larger than 2147483647"},
    {"NoLength", [] { return makeFixturePdf({withDictionary("/Filter /DCTDecode", " >>")}); }, 0, kDictionary,
     "dictionary", " has no /Length entry"},
    {"ThirtyTwoNames", [] { return makeFixturePdf({withDictionary(names(21) + "/Filter /DCTDecode ")}); }, 0,
     kJpeg, "JPEG", " has a stream dictionary with more than 31 names"},
    {"TokenOf65Bytes",
     [] { return makeFixturePdf({withDictionary("/Decode [" + std::string(55, '1') + "] ")}); }, 0, kJpeg,
     "JPEG", " has a stream dictionary with an entry longer than 64 bytes"},
    {"NoOpeningPair",
     [] {
         FixtureImage image;
         image.dictionary = "/Type /XObject /Length %L >>";
         return makeFixturePdf({image});
     },
     0, kJpeg, "JPEG", " has a stream dictionary with no opening \"<<\""},
    {"Overlapping",
     [] {
         return makeFixturePdf({withLength(std::to_string(colourJpeg().size() + 600)), FixtureImage{}});
     },
     1, kDictionary, "image", " overlaps the image before it"},
};

class ImageDictionaries : public ::testing::TestWithParam<Damage> {};

TEST_P(ImageDictionaries, DamagedFileIsRefusedWithWhatAndWhere) {
    const Damage& d = GetParam();
    const FixturePdf pdf = d.make();
    std::string rest = d.rest;
    if (const auto n = rest.find("%N"); n != std::string::npos)
        rest.replace(n, 2, std::to_string(pdf.images[0].lengthObject));
    std::vector<ImageRecord> records;
    EXPECT_EQ(readAs(pdf.bytes, records), std::string("book.pdf: ") + d.what + " at byte " +
                                              std::to_string(pdf.images[d.image].*d.where) + rest);
}

INSTANTIATE_TEST_SUITE_P(Damages, ImageDictionaries, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageDictionaries, ValidFileGivesOneRecordPerStreamWithIndirectLengthsResolved) {
    FixturePdf pdf =
        makeFixturePdf({FixtureImage{}, indirect(), withLength(std::to_string(colourJpeg().size()) + " ")});
    std::vector<ImageRecord> records;
    ASSERT_EQ(readAs(pdf.bytes, records), "(accepted)");
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(records[i].dictionaryOffset, static_cast<std::int32_t>(pdf.images[i].dictionaryOffset));
        EXPECT_EQ(records[i].jpegOffset, static_cast<std::int32_t>(pdf.images[i].jpegOffset));
        EXPECT_EQ(records[i].jpegEnd, static_cast<std::int32_t>(pdf.images[i].jpegEnd));
        EXPECT_EQ(readStreamLength(*records[i].tokens), static_cast<std::int32_t>(colourJpeg().size()))
            << "an indirect length is written directly";
    }
    // The last definition of an indirect length counts.
    appendIntegerUpdate(pdf.bytes, pdf.images[1].lengthObject,
                        static_cast<std::int64_t>(colourJpeg().size()) - 100);
    ASSERT_EQ(readAs(pdf.bytes, records), "(accepted)");
    EXPECT_EQ(records[1].jpegLength, static_cast<std::int32_t>(colourJpeg().size()) - 100);
}

TEST(ImageDictionaries, FileLargerThanInt32IsRefusedByItsLength) {
    EXPECT_TRUE(checkFileSize(2147483647));
    const auto refused = checkFileSize(2147483648LL);
    ASSERT_FALSE(refused);
    EXPECT_EQ(describeRefusal("big.pdf", refused.refusal()), "big.pdf: file is larger than 2147483647 bytes");
}

}  // namespace
}  // namespace pagewash
