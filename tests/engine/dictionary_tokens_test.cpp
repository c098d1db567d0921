#include "engine/images/dictionary_tokens.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine_test_support.h"

namespace pagewash {
namespace {

using testing::Bytes;
using testing::toBytes;

std::string slotText(const DictionaryTokens& tokens, int i) {
    const auto& slot = tokens.slots[static_cast<std::size_t>(i)];
    return std::string(slot.begin(), slot.begin() + tokens.lengths[static_cast<std::size_t>(i)]);
}

// "<<", the tokens and ">>" as the edited PDF writes them.
std::string written(const DictionaryTokens& tokens) {
    std::string text = "<<";
    for (int i = 0; i <= tokens.count; ++i) text += slotText(tokens, i);
    return text + ">>";
}

struct Parsed {
    std::int32_t open = -1;
    DictionaryTokens tokens;
    DictionaryError error = DictionaryError::None;
};

Parsed parse(const std::string& text, std::int32_t jpegOffset) {
    Parsed parsed;
    const Bytes bytes = toBytes(text);
    parsed.open = parseImageDictionary(bytes, jpegOffset, parsed.tokens, &parsed.error);
    return parsed;
}

// The dictionary followed by the stream keyword, with the JPEG's offset.
Parsed parseStream(const std::string& dictionary, const std::string& before = "1 0 obj\n") {
    const std::string text = before + dictionary + "\r\nstream\r\n\xFF\xD8\xFF\xE0";
    return parse(text, static_cast<std::int32_t>(text.size() - 4));
}

// ---- the plain reference, written straight from the definition --------------------------------

struct Reference {
    std::int32_t result = -1;
    std::vector<std::string> tokens{""};
};

Reference referenceParse(const Bytes& b, std::int64_t jpegOffset) {
    Reference ref;
    const auto size = static_cast<std::int64_t>(b.size());
    std::int64_t close = -1;
    for (std::int64_t p = jpegOffset; p >= 0; --p) {
        if (p + 1 < size && b[static_cast<std::size_t>(p)] == '>' &&
            b[static_cast<std::size_t>(p + 1)] == '>') {
            close = p;
            break;
        }
    }
    if (close < 0) return ref;
    int depth = 1;
    std::int64_t open = -1;
    std::int64_t s = close - 2;
    while (s >= 0) {
        const char x = static_cast<char>(b[static_cast<std::size_t>(s)]);
        const char y = static_cast<char>(b[static_cast<std::size_t>(s + 1)]);
        if (x == '>' && y == '>') {
            depth += 1;
            s -= 2;
        } else if (x == '<' && y == '<') {
            depth -= 1;
            if (depth == 0) {
                open = s;
                break;
            }
            s -= 2;
        } else {
            s -= 1;
        }
    }
    if (open < 0) return ref;
    for (std::int64_t p = open + 2; p <= close - 1; ++p) {
        const char byte = static_cast<char>(b[static_cast<std::size_t>(p)]);
        if (byte == '/') {
            ref.tokens.emplace_back();
            if (ref.tokens.size() == 33) return ref;  // a 32nd "/"
        }
        ref.tokens.back().push_back(byte);
        if (ref.tokens.back().size() > 64) return ref;
    }
    ref.result = static_cast<std::int32_t>(open);
    return ref;
}

// ---- the worked examples -----------------------------------------------------------------------

TEST(DictionaryTokens, ImageDictionaryCutsIntoTwelveNamesAndRewritesLengthAndColourSpace) {
    const std::string dictionary =
        "<< /Type /XObject /Subtype /Image /Width 640 /Height 480 /ColorSpace /DeviceRGB "
        "/BitsPerComponent 8 /Filter /DCTDecode /Length 912 >>";
    Parsed p = parseStream(dictionary, "");
    ASSERT_EQ(p.open, 0);
    EXPECT_EQ(p.tokens.count, 12);
    EXPECT_EQ(slotText(p.tokens, 0), " ");
    EXPECT_EQ(slotText(p.tokens, 8), "/DeviceRGB ");
    EXPECT_EQ(slotText(p.tokens, 12), "/Length 912 ");
    EXPECT_EQ(p.tokens.lengths[12], 12);
    EXPECT_EQ(p.tokens.slots[12][12], 0) << "a short token is followed by a zero byte";
    EXPECT_EQ(findToken(p.tokens, "Leng"), 12);
    EXPECT_EQ(readStreamLength(p.tokens), 912);

    writeStreamLength(p.tokens, 877);
    EXPECT_EQ(slotText(p.tokens, 12), "/Length 877");
    makeDictionaryGray(p.tokens);
    EXPECT_EQ(slotText(p.tokens, 8), "/DeviceGray");
    EXPECT_EQ(written(p.tokens),
              "<< /Type /XObject /Subtype /Image /Width 640 /Height 480 /ColorSpace /DeviceGray"
              "/BitsPerComponent 8 /Filter /DCTDecode /Length 877>>");
}

TEST(DictionaryTokens, UnchangedTokensReproduceTheDictionaryBytes) {
    const std::vector<std::string> dictionaries = {
        "<< /Type /XObject /Subtype /Image /Length 912 >>",
        "<</Length 500/Filter/DCTDecode>>",
        "<</Filter/DCTDecode/DecodeParms<</ColorTransform 0>>/Length 100>>",
        "<<\r\n/Length\r\n12 0 R\r\n/Decode [1 0 1 0 1 0]\r\n/ColorSpace [/ICCBased 9 0 R]\r\n>>",
        "<<>>",
        "<< (a string) <abcdef> >>",
    };
    for (const auto& dictionary : dictionaries) {
        Parsed p = parseStream(dictionary);
        ASSERT_EQ(p.open, 8) << dictionary;
        EXPECT_EQ(written(p.tokens), dictionary);
    }
}

TEST(DictionaryTokens, LengthDirectlyAfterTheOpeningIsFoundByComparison) {
    Parsed p = parseStream("<</Length 500/Filter/DCTDecode>>");
    ASSERT_EQ(p.open, 8);
    EXPECT_EQ(p.tokens.lengths[0], 0);
    EXPECT_EQ(slotText(p.tokens, 1), "/Length 500");
    EXPECT_EQ(findToken(p.tokens, "Leng"), 1);
    EXPECT_EQ(readStreamLength(p.tokens), 500);
}

TEST(DictionaryTokens, NestedDictionaryIsSkippedByDepth) {
    Parsed p = parseStream("<</Filter/DCTDecode/DecodeParms<</ColorTransform 0>>/Length 100>>");
    ASSERT_EQ(p.open, 8);
    ASSERT_EQ(p.tokens.count, 5);
    const std::vector<std::string> expected = {
        "", "/Filter", "/DCTDecode", "/DecodeParms<<", "/ColorTransform 0>>", "/Length 100"};
    for (int i = 0; i <= 5; ++i) EXPECT_EQ(slotText(p.tokens, i), expected[static_cast<std::size_t>(i)]);
    EXPECT_EQ(readStreamLength(p.tokens), 100);
}

TEST(DictionaryTokens, TripleAngleBracketsCountOnePairEach) {
    // ">>>" before the close: the walk consumes ">>" and then sees ">/" etc.; "<<<" likewise.
    for (const std::string dictionary :
         {"<</A <</B 1>>>>", "<<</A 1>>", "<</A<<</B 1>>>>", "<</X <<<</Y 2>>>>>>"}) {
        const Bytes bytes = toBytes("0 " + dictionary + "stream\n");
        const auto jpeg = static_cast<std::int32_t>(bytes.size() - 1);
        DictionaryTokens tokens;
        const Reference ref = referenceParse(bytes, jpeg);
        EXPECT_EQ(parseImageDictionary(bytes, jpeg, tokens), ref.result) << dictionary;
    }
}

TEST(DictionaryTokens, LengthSeparatedByALineEndReadsAndRewrites) {
    Parsed p = parseStream("<</Filter/DCTDecode/Length\r\n4711>>");
    ASSERT_GE(p.open, 0);
    EXPECT_EQ(readStreamLength(p.tokens), 4711);
    writeStreamLength(p.tokens, 52);
    const int slot = findToken(p.tokens, "Leng");
    EXPECT_EQ(p.tokens.slots[static_cast<std::size_t>(slot)][7], '\r');
    EXPECT_EQ(slotText(p.tokens, slot), "/Length\r52");
}

TEST(DictionaryTokens, ThirtyOneNamesParseAndAThirtySecondFails) {
    std::string names;
    for (int i = 0; i < 30; ++i) names += "/K" + std::to_string(i) + " 1 ";
    Parsed ok = parseStream("<<" + names + "/Length 5>>");
    EXPECT_GE(ok.open, 0);
    EXPECT_EQ(ok.tokens.count, 31);
    EXPECT_EQ(readStreamLength(ok.tokens), 5);

    Parsed tooMany = parseStream("<<" + names + "/K30 2/Length 5>>");
    EXPECT_EQ(tooMany.open, -1);
    EXPECT_EQ(tooMany.error, DictionaryError::TooManyNames);
    // The record stays inside its 32 slots for the other operations.
    EXPECT_LE(tooMany.tokens.count, 31);
    writeStreamLength(tooMany.tokens, 1);
    makeDictionaryGray(tooMany.tokens);
}

TEST(DictionaryTokens, TokenOfSixtyFourBytesParsesAndSixtyFiveFails) {
    const std::string value64 = "/Decode [" + std::string(54, '1') + "]";  // 64 bytes
    ASSERT_EQ(value64.size(), 64u);
    Parsed ok = parseStream("<<" + value64 + "/Length 5>>");
    EXPECT_GE(ok.open, 0);
    EXPECT_EQ(ok.tokens.lengths[1], 64);

    Parsed tooLong = parseStream("<</Decode [" + std::string(55, '1') + "]/Length 5>>");
    EXPECT_EQ(tooLong.open, -1);
    EXPECT_EQ(tooLong.error, DictionaryError::TokenTooLong);
    for (int len : tooLong.tokens.lengths) EXPECT_LE(len, 64);
}

TEST(DictionaryTokens, NoClosingPairGivesMinusOneWithoutReadingBeforeTheBuffer) {
    // A buffer of exactly these bytes: the sanitizer build catches any read outside it.
    for (const std::string text : {"", ">", "/Length 5 stream\n\xFF\xD8", "> > /A\n\xFF\xD8"}) {
        const Bytes bytes = toBytes(text);
        DictionaryTokens tokens;
        tokens.count = 7;
        DictionaryError error = DictionaryError::None;
        const auto jpeg = static_cast<std::int32_t>(text.size() < 2 ? 0 : text.size() - 2);
        EXPECT_EQ(parseImageDictionary(std::span<const std::uint8_t>(bytes), jpeg, tokens, &error), -1);
        EXPECT_EQ(error, DictionaryError::NoClosingDelimiter);
        EXPECT_EQ(tokens.count, 0) << "the record is left cleared";
    }
    Parsed noOpening = parse("/Length 5 >>stream\n\xFF\xD8", 19);
    EXPECT_EQ(noOpening.open, -1);
    EXPECT_EQ(noOpening.error, DictionaryError::NoOpeningDelimiter);
}

TEST(DictionaryTokens, ParseMatchesThePlainReferenceOnRandomBuffers) {
    std::mt19937 random(20261206);
    const char alphabet[] = {'<', '<', '>', '>', '/', '/', 'a', ' ', '1'};
    for (int round = 0; round < 20000; ++round) {
        const auto size = std::uniform_int_distribution<std::size_t>(0, round % 10 == 0 ? 3000 : 120)(random);
        Bytes bytes(size);
        for (auto& byte : bytes)
            byte =
                static_cast<std::uint8_t>(alphabet[std::uniform_int_distribution<std::size_t>(0, 8)(random)]);
        const auto jpeg =
            std::uniform_int_distribution<std::int32_t>(0, static_cast<std::int32_t>(size) + 2)(random);
        DictionaryTokens tokens;
        const std::int32_t result = parseImageDictionary(bytes, jpeg, tokens);
        const Reference ref =
            referenceParse(bytes, std::min<std::int64_t>(jpeg, static_cast<std::int64_t>(size)));
        ASSERT_EQ(result, ref.result) << "round " << round;
        if (result < 0) continue;
        ASSERT_EQ(tokens.count + 1, static_cast<int>(ref.tokens.size()));
        for (int i = 0; i <= tokens.count; ++i) {
            ASSERT_EQ(slotText(tokens, i), ref.tokens[static_cast<std::size_t>(i)]) << "round " << round;
            for (int at = tokens.lengths[static_cast<std::size_t>(i)]; at < 64; ++at)
                ASSERT_EQ(tokens.slots[static_cast<std::size_t>(i)][static_cast<std::size_t>(at)], 0);
        }
    }
}

// ---- lookup and length ---------------------------------------------------------------------------

TEST(DictionaryTokens, LookupComparesFourBytesAndFallsOnTheLastSlot) {
    Parsed p = parseStream("<</Lengthy 3/Filter/DCTDecode/Length 9>>");
    EXPECT_EQ(findToken(p.tokens, "Leng"), 1) << "only bytes 1 to 4 are compared";
    Parsed none = parseStream("<</Filter/DCTDecode/Width 1234>>");
    EXPECT_EQ(findToken(none.tokens, "Leng"), none.tokens.count);
    EXPECT_EQ(readStreamLength(none.tokens), 234) << "the last token's digits from position 8";
}

TEST(DictionaryTokens, IndirectLengthDigitsAreJoined) {
    Parsed p = parseStream("<</Filter/DCTDecode/Length 12 0 R>>");
    EXPECT_EQ(readStreamLength(p.tokens), 120);
}

TEST(DictionaryTokens, LengthOverflowingInt32IsRejected) {
    EXPECT_EQ(readStreamLength(parseStream("<</Length 2147483647>>").tokens), 2147483647);
    EXPECT_EQ(readStreamLength(parseStream("<</Length 2147483648>>").tokens), -1);
    EXPECT_EQ(readStreamLength(parseStream("<</Length 99999999999999999999999>>").tokens), -1);
}

TEST(DictionaryTokens, WrittenLengthEndsTheTokenWithItsLastDigit) {
    Parsed p = parseStream("<</Length 123456789 \r\n/Filter/DCTDecode>>");
    for (const std::int32_t value : {0, 7, 2147483647}) {
        writeStreamLength(p.tokens, value);
        EXPECT_EQ(slotText(p.tokens, 1), "/Length " + std::to_string(value));
        EXPECT_EQ(readStreamLength(p.tokens), value);
        for (std::size_t at = static_cast<std::size_t>(p.tokens.lengths[1]); at < 64; ++at)
            EXPECT_EQ(p.tokens.slots[1][at], 0);
    }
}

// ---- colour space --------------------------------------------------------------------------------

TEST(DictionaryTokens, FirstDeviceColourSpaceOnlyBecomesGray) {
    Parsed p = parseStream("<</ColorSpace /DeviceCMYK /Alt /DeviceRGB /Length 5>>");
    makeDictionaryGray(p.tokens);
    EXPECT_EQ(written(p.tokens), "<</ColorSpace /DeviceGray/Alt /DeviceRGB /Length 5>>");
}

TEST(DictionaryTokens, DeviceNameRewriteKeepsTheSyntaxThatFollowsIt) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<</ColorSpace /DeviceRGB\r\n/Length 5>>", "<</ColorSpace /DeviceGray/Length 5>>"},
        {"<</ColorSpace [/DeviceRGB] /Length 5>>", "<</ColorSpace [/DeviceGray] /Length 5>>"},
        {"<</DecodeParms <</CS /DeviceRGB>> /Length 5>>", "<</DecodeParms <</CS /DeviceGray>> /Length 5>>"},
    };
    for (const auto& [input, expected] : cases) {
        Parsed p = parseStream(input);
        ASSERT_GE(p.open, 0) << input;
        makeDictionaryGray(p.tokens);
        EXPECT_EQ(written(p.tokens), expected) << input;
        makeDictionaryGray(p.tokens);
        EXPECT_EQ(written(p.tokens), expected) << "a second rewrite changes nothing: " << input;
    }
}

TEST(DictionaryTokens, IndirectOrArrayColourSpaceValueBecomesDeviceGray) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<</ColorSpace 9 0 R/Length 5>>", "<</ColorSpace /DeviceGray/Length 5>>"},
        {"<< /ColorSpace 9 0 R\n/Length 5 >>", "<< /ColorSpace /DeviceGray/Length 5 >>"},
        {"<< /ColorSpace [/ICCBased 9 0 R] /BitsPerComponent 8 /Length 5 >>",
         "<< /ColorSpace /DeviceGray/BitsPerComponent 8 /Length 5 >>"},
        {"<< /ColorSpace [ /ICCBased 9 0 R ]\r\n/Length 5 >>", "<< /ColorSpace /DeviceGray/Length 5 >>"},
        {"<< /Length 5 /ColorSpace 9 0 R >>", "<< /Length 5 /ColorSpace /DeviceGray>>"},
        {"<< /Length 5 /ColorSpace /CalRGB >>", "<< /Length 5 /ColorSpace /DeviceGray>>"},
    };
    for (const auto& [input, expected] : cases) {
        Parsed p = parseStream(input);
        ASSERT_GE(p.open, 0) << input;
        makeDictionaryGray(p.tokens);
        EXPECT_EQ(written(p.tokens), expected) << input;
        EXPECT_EQ(readStreamLength(p.tokens), 5) << "the /Length entry is never the one replaced";
        makeDictionaryGray(p.tokens);
        EXPECT_EQ(written(p.tokens), expected) << "a second rewrite changes nothing: " << input;
    }
}

TEST(DictionaryTokens, DictionaryWithoutUnderstoodColourSpaceIsLeftAlone) {
    for (const std::string input : {"<</Filter/DCTDecode/Length 5>>",  // no colour space at all
                                    "<</ColorSpace (odd)/Length 5>>",  // not a colour space value
                                    "<</ColorSpace [/ICCBased 9 0 R/Length 5>>"}) {  // unbalanced
        Parsed p = parseStream(input);
        ASSERT_GE(p.open, 0) << input;
        makeDictionaryGray(p.tokens);
        EXPECT_EQ(written(p.tokens), input);
    }
}

TEST(DictionaryTokens, ColourSpaceRewriteNeverOverrunsTheSlots) {
    // 31 names with the indirect colour space in the last slot's key: the rewrite would need a 33rd
    // slot, so the dictionary stays as it was.
    std::string names;
    for (int i = 0; i < 29; ++i) names += "/K" + std::to_string(i) + " 1 ";
    const std::string input = "<<" + names + "/Length 5/ColorSpace 9 0 R>>";
    Parsed p = parseStream(input);
    ASSERT_GE(p.open, 0);
    ASSERT_EQ(p.tokens.count, 31);
    makeDictionaryGray(p.tokens);
    EXPECT_EQ(written(p.tokens), input);
}

}  // namespace
}  // namespace pagewash
