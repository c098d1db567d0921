// A fixture writes a valid PDF with real JPEG streams; each test damages it one way.
#include <gtest/gtest.h>

#include "engine/images/edited_pdf_writer.h"
#include "engine/images/image_dictionaries.h"
#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/images/temp_images.h"
#include "engine_test_support.h"

namespace pagewash {
namespace {

using test::FixtureImage;
using test::FixturePdf;
using testing::Bytes;

class ImageDictionaries : public ::testing::Test {
  protected:
    static FixtureImage image(const std::string& dictionary = {}) {
        FixtureImage result;
        result.jpeg = test::colourJpeg();
        if (!dictionary.empty()) result.dictionary = dictionary;
        return result;
    }

    // Runs the reading steps as the batch run does; returns the refusal, if any.
    Result<Done> read(const Bytes& bytes) {
        records = findJpegStreams(bytes);
        if (auto dictionaries = readImageDictionaries(bytes, records); !dictionaries) return dictionaries;
        sortImageRecords(records);
        return checkImageRanges(bytes, records);
    }

    std::string refusalText(const Bytes& bytes) {
        const auto result = read(bytes);
        return result ? std::string("(accepted)") : describeRefusal("book.pdf", result.refusal());
    }

    std::vector<ImageRecord> records;
};

TEST_F(ImageDictionaries, ValidFileGivesOneRecordPerImageStream) {
    const FixturePdf pdf = test::makeFixturePdf({image(), image(), image()});
    ASSERT_TRUE(read(pdf.bytes));
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& expected = pdf.images[i];
        EXPECT_EQ(records[i].dictionaryOffset, static_cast<std::int32_t>(expected.dictionaryOffset));
        EXPECT_EQ(records[i].jpegOffset, static_cast<std::int32_t>(expected.jpegOffset));
        EXPECT_EQ(records[i].jpegEnd, static_cast<std::int32_t>(expected.jpegEnd));
        EXPECT_EQ(records[i].jpegLength, static_cast<std::int32_t>(test::colourJpeg().size()));
        EXPECT_EQ(readStreamLength(*records[i].tokens), records[i].jpegLength);
    }
}

TEST_F(ImageDictionaries, FixtureIsAValidPdf) {
    if (!testing::toolAvailable("qpdf")) GTEST_SKIP() << "qpdf is missing";
    testing::ScratchDir dir;
    FixtureImage indirect = image();
    indirect.indirectLength = true;
    testing::writeBytes(dir.file("fixture.pdf"), test::makeFixturePdf({image(), indirect}).bytes);
    EXPECT_EQ(testing::runCommand("qpdf --check " + testing::quote(dir.file("fixture.pdf"))).exitStatus, 0);
}

TEST_F(ImageDictionaries, IndirectLengthIsResolvedAndWrittenDirectly) {
    FixtureImage indirect = image();
    indirect.indirectLength = true;
    const FixturePdf pdf = test::makeFixturePdf({image(), indirect});
    ASSERT_TRUE(read(pdf.bytes)) << refusalText(pdf.bytes);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].jpegLength, static_cast<std::int32_t>(test::colourJpeg().size()));
    EXPECT_EQ(records[1].jpegEnd, static_cast<std::int32_t>(pdf.images[1].jpegEnd));
    const int slot = findToken(*records[1].tokens, "Leng");
    const auto& tokens = *records[1].tokens;
    EXPECT_EQ(std::string(tokens.slots[static_cast<std::size_t>(slot)].begin(),
                          tokens.slots[static_cast<std::size_t>(slot)].begin() +
                              tokens.lengths[static_cast<std::size_t>(slot)]),
              "/Length " + std::to_string(test::colourJpeg().size()));
}

TEST_F(ImageDictionaries, IndirectLengthTakesTheLastDefinition) {
    FixtureImage indirect = image();
    indirect.indirectLength = true;
    FixturePdf pdf = test::makeFixturePdf({indirect});
    const int object = pdf.images[0].lengthObject;
    const auto size = static_cast<std::int64_t>(test::colourJpeg().size());

    Bytes shorter = pdf.bytes;
    test::appendIntegerUpdate(shorter, object, size - 100);
    ASSERT_TRUE(read(shorter));
    EXPECT_EQ(records[0].jpegLength, size - 100);

    Bytes pastEnd = pdf.bytes;
    test::appendIntegerUpdate(pastEnd, object, 100000000);
    EXPECT_EQ(refusalText(pastEnd), "book.pdf: /Length at byte " +
                                        std::to_string(pdf.images[0].lengthTokenOffset) +
                                        " runs past the end of the file");
}

TEST_F(ImageDictionaries, UnresolvableIndirectLengthIsRefused) {
    FixtureImage missing = image();
    missing.lengthText = "999 0 R";
    const FixturePdf pdf = test::makeFixturePdf({missing});
    EXPECT_EQ(refusalText(pdf.bytes), "book.pdf: /Length at byte " +
                                          std::to_string(pdf.images[0].lengthTokenOffset) +
                                          " refers to object 999 0, which cannot be found");

    FixtureImage notInteger = image();
    notInteger.lengthText = "1 0 R";  // the catalog
    EXPECT_NE(refusalText(test::makeFixturePdf({notInteger}).bytes).find("which holds no integer"),
              std::string::npos);

    FixtureImage huge = image();
    huge.indirectLength = true;
    FixturePdf hugePdf = test::makeFixturePdf({huge});
    test::appendIntegerUpdate(hugePdf.bytes, hugePdf.images[0].lengthObject, 2147483648LL);
    EXPECT_NE(refusalText(hugePdf.bytes).find("which is larger than 2147483647"), std::string::npos);
}

TEST_F(ImageDictionaries, LengthPastTheEndOfTheFileIsRefused) {
    FixtureImage bad = image();
    bad.lengthText = "100000000";
    const FixturePdf pdf = test::makeFixturePdf({image(), bad});
    EXPECT_EQ(refusalText(pdf.bytes), "book.pdf: /Length at byte " +
                                          std::to_string(pdf.images[1].lengthTokenOffset) +
                                          " runs past the end of the file");
}

TEST_F(ImageDictionaries, LengthOverflowingInt32IsRejected) {
    for (const std::string text : {"2147483648", "4294967296912", "99999999999999999999999999"}) {
        FixtureImage bad = image();
        bad.lengthText = text;
        const FixturePdf pdf = test::makeFixturePdf({bad});
        EXPECT_EQ(refusalText(pdf.bytes), "book.pdf: /Length at byte " +
                                              std::to_string(pdf.images[0].lengthTokenOffset) +
                                              " is larger than 2147483647")
            << text;
    }
}

TEST_F(ImageDictionaries, LengthThatIsNoNumberIsRefused) {
    for (const std::string text : {"abc", "-5", "12 R", "12 0 obj", "5.0"}) {
        FixtureImage bad = image();
        bad.lengthText = text;
        const FixturePdf pdf = test::makeFixturePdf({bad});
        EXPECT_NE(refusalText(pdf.bytes).find("is neither a number nor a reference"), std::string::npos)
            << text;
    }
}

TEST_F(ImageDictionaries, MissingLengthIsRefusedNotReadFromTheLastToken) {
    const FixturePdf pdf = test::makeFixturePdf(
        {image("<< /Type /XObject /Subtype /Image /ColorSpace %CS /BitsPerComponent 8 /Filter /DCTDecode "
               "/Height %H /Width %W >>")});
    EXPECT_EQ(refusalText(pdf.bytes), "book.pdf: dictionary at byte " +
                                          std::to_string(pdf.images[0].dictionaryOffset) +
                                          " has no /Length entry");
}

TEST_F(ImageDictionaries, ThirtyTwoNamesAreRefused) {
    std::string names;
    for (int i = 0; i < 19; ++i) names += "/K" + std::to_string(i) + " 1 ";
    const std::string dictionary = "<< /Type /XObject /Subtype /Image /Width %W /Height %H /ColorSpace %CS " +
                                   names + "/BitsPerComponent 8 /Filter /DCTDecode /Length %L >>";
    EXPECT_EQ(refusalText(test::makeFixturePdf({image(dictionary)}).bytes).find("more than 31 names"),
              std::string::npos)
        << "31 names are still fine";
    const std::string tooMany = "<< /Type /XObject /Subtype /Image /Width %W /Height %H /ColorSpace %CS " +
                                names + "/K99 2 /BitsPerComponent 8 /Filter /DCTDecode /Length %L >>";
    const FixturePdf bad = test::makeFixturePdf({image(tooMany)});
    EXPECT_EQ(refusalText(bad.bytes), "book.pdf: JPEG at byte " + std::to_string(bad.images[0].jpegOffset) +
                                          " has a stream dictionary with more than 31 names");
}

TEST_F(ImageDictionaries, TokenOf65BytesIsRefused) {
    const std::string longDecode = "/Decode [" + std::string(55, '1') + "] ";  // 65 bytes
    const FixturePdf bad = test::makeFixturePdf(
        {image("<< /Type /XObject /Subtype /Image /Width %W /Height %H /ColorSpace %CS " + longDecode +
               "/BitsPerComponent 8 /Filter /DCTDecode /Length %L >>")});
    EXPECT_EQ(refusalText(bad.bytes), "book.pdf: JPEG at byte " + std::to_string(bad.images[0].jpegOffset) +
                                          " has a stream dictionary with an entry longer than 64 bytes");
}

TEST_F(ImageDictionaries, StreamWithoutClosingPairIsNoImage) {
    const FixturePdf pdf = test::makeFixturePdf(
        {image("<< /Type /XObject /Subtype /Image /Width %W /Height %H /ColorSpace %CS /BitsPerComponent 8 "
               "/Filter /DCTDecode /Length %L ")});
    ASSERT_TRUE(read(pdf.bytes));
    EXPECT_TRUE(records.empty()) << "without \">>\" before \"stream\" the JPEG does not start a stream";
}

TEST_F(ImageDictionaries, StreamWithoutOpeningPairIsRefused) {
    const FixturePdf pdf = test::makeFixturePdf({image("/Type /XObject /Length %L >>")});
    // The walk passes the balanced dictionaries further up and reaches the start of the file.
    EXPECT_EQ(refusalText(pdf.bytes), "book.pdf: JPEG at byte " + std::to_string(pdf.images[0].jpegOffset) +
                                          " has a stream dictionary with no opening \"<<\"");
}

TEST_F(ImageDictionaries, OverlappingRangesAreRefused) {
    FixtureImage first = image();
    // Long enough to run over the second image's dictionary, short enough to stay in the file.
    first.lengthText = std::to_string(test::colourJpeg().size() + 600);
    const FixturePdf pdf = test::makeFixturePdf({first, image()});
    EXPECT_EQ(refusalText(pdf.bytes), "book.pdf: image at byte " +
                                          std::to_string(pdf.images[1].dictionaryOffset) +
                                          " overlaps the image before it");
}

TEST_F(ImageDictionaries, OversizedFileIsRefusedByItsLength) {
    EXPECT_TRUE(checkFileSize(2147483647));
    const auto refused = checkFileSize(2147483648LL);
    ASSERT_FALSE(refused);
    EXPECT_EQ(describeRefusal("big.pdf", refused.refusal()), "big.pdf: file is larger than 2147483647 bytes");
}

}  // namespace
}  // namespace pagewash
