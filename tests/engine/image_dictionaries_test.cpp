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

struct Damage {
    const char* name;
    std::function<FixturePdf()> make;
    std::function<std::string(const FixturePdf&)> refusal;  // the whole text, or a part after "..."
};
std::string at(const char* what, std::size_t offset, const std::string& rest) {
    return std::string("book.pdf: ") + what + " at byte " + std::to_string(offset) + rest;
}
FixturePdf updated(FixturePdf pdf, std::int64_t value) {
    appendIntegerUpdate(pdf.bytes, pdf.images[0].lengthObject, value);
    return pdf;
}

const Damage kDamages[] = {
    {"LengthPastTheEnd",
     [] {
         return makeFixturePdf({FixtureImage{}, withLength("100000000")});
     },
     [](const FixturePdf& p) {
         return at("/Length", p.images[1].lengthTokenOffset, " runs past the end of the file");
     }},
    {"LengthOverflowingInt32", [] { return makeFixturePdf({withLength("4294967296912")}); },
     [](const FixturePdf& p) {
         return at("/Length", p.images[0].lengthTokenOffset, " is larger than 2147483647");
     }},
    {"LengthNoNumber", [] { return makeFixturePdf({withLength("12 0 obj")}); },
     [](const FixturePdf& p) {
         return at("/Length", p.images[0].lengthTokenOffset, " is neither a number nor a reference to one");
     }},
    {"LengthNegative", [] { return makeFixturePdf({withLength("-5")}); },
     [](const FixturePdf& p) {
         return at("/Length", p.images[0].lengthTokenOffset, " is neither a number nor a reference to one");
     }},
    {"IndirectLengthMissing", [] { return makeFixturePdf({withLength("999 0 R")}); },
     [](const FixturePdf& p) {
         return at("/Length", p.images[0].lengthTokenOffset,
                   " refers to object 999 0, which cannot be found");
     }},
    {"IndirectLengthNotInteger", [] { return makeFixturePdf({withLength("1 0 R")}); },
     [](const FixturePdf& p) {
         return at("/Length", p.images[0].lengthTokenOffset, " refers to object 1 0, which holds no integer");
     }},
    {"IndirectLengthUpdatedPastTheEnd", [] { return updated(makeFixturePdf({indirect()}), 100000000); },
     [](const FixturePdf& p) {
         return at("/Length", p.images[0].lengthTokenOffset, " runs past the end of the file");
     }},
    {"IndirectLengthUpdatedTooLarge", [] { return updated(makeFixturePdf({indirect()}), 2147483648LL); },
     [](const FixturePdf& p) {
         return at("/Length", p.images[0].lengthTokenOffset,
                   " refers to object " + std::to_string(p.images[0].lengthObject) +
                       " 0, which is larger than 2147483647");
     }},
    {"NoLength", [] { return makeFixturePdf({withDictionary("/Filter /DCTDecode", " >>")}); },
     [](const FixturePdf& p) {
         return at("dictionary", p.images[0].dictionaryOffset, " has no /Length entry");
     }},
    {"ThirtyTwoNames", [] { return makeFixturePdf({withDictionary(names(21) + "/Filter /DCTDecode ")}); },
     [](const FixturePdf& p) {
         return at("JPEG", p.images[0].jpegOffset, " has a stream dictionary with more than 31 names");
     }},
    {"TokenOf65Bytes",
     [] { return makeFixturePdf({withDictionary("/Decode [" + std::string(55, '1') + "] ")}); },
     [](const FixturePdf& p) {
         return at("JPEG", p.images[0].jpegOffset,
                   " has a stream dictionary with an entry longer than 64 bytes");
     }},
    {"NoOpeningPair",
     [] {
         FixtureImage image;
         image.dictionary = "/Type /XObject /Length %L >>";
         return makeFixturePdf({image});
     },
     [](const FixturePdf& p) {
         return at("JPEG", p.images[0].jpegOffset, " has a stream dictionary with no opening \"<<\"");
     }},
    {"Overlapping",
     [] {
         return makeFixturePdf({withLength(std::to_string(colourJpeg().size() + 600)), FixtureImage{}});
     },
     [](const FixturePdf& p) {
         return at("image", p.images[1].dictionaryOffset, " overlaps the image before it");
     }},
};

class ImageDictionaries : public ::testing::TestWithParam<Damage> {};

TEST_P(ImageDictionaries, DamagedFileIsRefusedWithWhatAndWhere) {
    const FixturePdf pdf = GetParam().make();
    std::vector<ImageRecord> records;
    EXPECT_EQ(readAs(pdf.bytes, records), GetParam().refusal(pdf));
}

INSTANTIATE_TEST_SUITE_P(Damages, ImageDictionaries, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageDictionaries, ValidFileGivesOneRecordPerStreamWithIndirectLengthsResolved) {
    FixturePdf pdf =
        makeFixturePdf({FixtureImage{}, indirect(), withLength(std::to_string(colourJpeg().size()) + " ")});
    ASSERT_TRUE(toolsInstalled({"qpdf"}));
    ScratchDir dir;
    writeBytes(dir.file("fixture.pdf"), pdf.bytes);
    EXPECT_EQ(runCommand("qpdf --check " + quote(dir.file("fixture.pdf"))).exitStatus, 0)
        << "the fixture is valid";
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
    // Without ">>" before "stream" the JPEG starts no stream.
    EXPECT_EQ(readAs(makeFixturePdf({withDictionary("/BitsPerComponent 8 ", "/Length %L ")}).bytes, records),
              "(accepted)");
    EXPECT_TRUE(records.empty());
}

TEST(ImageDictionaries, FileLargerThanInt32IsRefusedByItsLength) {
    EXPECT_TRUE(checkFileSize(2147483647));
    const auto refused = checkFileSize(2147483648LL);
    ASSERT_FALSE(refused);
    EXPECT_EQ(describeRefusal("big.pdf", refused.refusal()), "big.pdf: file is larger than 2147483647 bytes");
}

}  // namespace
}  // namespace pagewash
