// A fixture writes a valid PDF with real JPEG streams; each case damages it one way and names the refusal.
#include "engine/images/image_dictionaries.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using namespace testing;

FixtureImage withDictionary(const std::string& middle, const std::string& end = "/Length %L >>") {
    return {.dictionary =
                "<< /Type /XObject /Subtype /Image /Width %W /Height %H /ColorSpace %CS " + middle + end,
            .lengthText = ""};
}
FixturePdf updated(std::int64_t value) {
    FixturePdf pdf = makeFixturePdf({{.lengthText = "", .indirectLength = true}});
    appendIntegerUpdate(pdf.bytes, pdf.images[0].lengthObject, value);
    return pdf;
}

// The refusal reads "input: <what> at byte <the offset `where` of image `image`><rest>", with %N the
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
         return makeFixturePdf({{}, {.lengthText = "100000000"}});
     },
     1, kLength, "/Length", " runs past the end of the file"},
    {"LengthOverflowingInt32", [] { return makeFixturePdf({{.lengthText = "4294967296912"}}); }, 0, kLength,
     "/Length", " is larger than 2147483647"},
    {"LengthNoNumber", [] { return makeFixturePdf({{.lengthText = "12 0 obj"}}); }, 0, kLength, "/Length",
     kNoNumber},
    {"LengthNegative", [] { return makeFixturePdf({{.lengthText = "-5"}}); }, 0, kLength, "/Length",
     kNoNumber},
    {"IndirectLengthMissing", [] { return makeFixturePdf({{.lengthText = "999 0 R"}}); }, 0, kLength,
     "/Length", " refers to object 999 0, which cannot be found"},
    {"IndirectLengthNotInteger", [] { return makeFixturePdf({{.lengthText = "1 0 R"}}); }, 0, kLength,
     "/Length", " refers to object 1 0, which holds no integer"},
    // Only the last definition of an indirect length counts.
    {"IndirectLengthUpdatedPastTheEnd", [] { return updated(100000000); }, 0, kLength, "/Length",
     " runs past the end of the file"},
    {"IndirectLengthUpdatedTooLarge", [] { return updated(2147483648LL); }, 0, kLength, "/Length",
     " refers to object %N 0, which is larger than 2147483647"},
    {"NoLength", [] { return makeFixturePdf({withDictionary("/Filter /DCTDecode", " >>")}); }, 0, kDictionary,
     "dictionary", " has no /Length entry"},
    {"ThirtyTwoNames",
     [] { return makeFixturePdf({withDictionary(std::string(21, '/') + " /Filter /DCTDecode ")}); }, 0, kJpeg,
     "JPEG", " has a stream dictionary with more than 31 names"},
    {"TokenOf65Bytes",
     [] { return makeFixturePdf({withDictionary("/Decode [" + std::string(54, '1') + "] ")}); }, 0, kJpeg,
     "JPEG", " has a stream dictionary with an entry longer than 64 bytes"},
    {"NoOpeningPair",
     [] { return makeFixturePdf({{.dictionary = "/Type /XObject /Length %L >>", .lengthText = ""}}); }, 0,
     kJpeg, "JPEG", " has a stream dictionary with no opening \"<<\""},
    {"Overlapping",
     [] {
         return makeFixturePdf({{.lengthText = std::to_string(colourJpeg().size() + 600)}, {}});
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
    try {
        readImages(pdf.bytes);
        FAIL() << "accepted";
    } catch (const std::runtime_error& refusal) {
        EXPECT_EQ(refusal.what(), "input: " + std::string(d.what) + " at byte " +
                                      std::to_string(pdf.images[d.image].*d.where) + rest);
    }
}

INSTANTIATE_TEST_SUITE_P(Damages, ImageDictionaries, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageDictionaries, FileLargerThanInt32IsRefusedByItsLength) {
    EXPECT_TRUE(checkFileSize(2147483647));
    const auto refused = checkFileSize(2147483648LL);
    ASSERT_FALSE(refused);
    EXPECT_EQ(describeRefusal("big.pdf", refused.refusal()), "big.pdf: file is larger than 2147483647 bytes");
}

}  // namespace
}  // namespace pagewash
