#include "engine/images/dictionary_tokens.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using testing::Bytes;

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

// The dictionary after "1 0 obj\n", followed by the stream keyword and a JPEG start.
DictionaryTokens parsed(const std::string& dictionary) {
    const Bytes bytes = testing::toBytes("1 0 obj\n" + dictionary + "\r\nstream\r\n\xFF\xD8\xFF\xE0");
    DictionaryTokens tokens;
    EXPECT_EQ(parseImageDictionary(bytes, static_cast<std::int32_t>(bytes.size() - 4), tokens), 8)
        << dictionary;
    return tokens;
}

// The plain reference, straight from the definition: the last ">>" at or before the JPEG, its "<<" by
// depth, then one token per "/" (at most 31 names and 64 bytes a token).
std::int32_t referenceParse(const Bytes& b, std::int64_t jpegOffset, std::vector<std::string>& tokens) {
    tokens.assign(1, "");
    const auto size = static_cast<std::int64_t>(b.size());
    const auto byte = [&](std::int64_t p) { return static_cast<char>(b[static_cast<std::size_t>(p)]); };
    std::int64_t close = -1;
    for (std::int64_t p = std::min(jpegOffset, size); p >= 0 && close < 0; --p)
        if (p + 1 < size && byte(p) == '>' && byte(p + 1) == '>') close = p;
    if (close < 0) return -1;
    int depth = 1;
    std::int64_t open = -1;
    for (std::int64_t s = close - 2; s >= 0 && open < 0; --s) {
        if (byte(s) != byte(s + 1) || (byte(s) != '<' && byte(s) != '>')) continue;
        depth += byte(s) == '>' ? 1 : -1;
        if (depth == 0) open = s;
        --s;  // a pair is two bytes
    }
    if (open < 0) return -1;
    for (std::int64_t p = open + 2; p < close; ++p) {
        if (byte(p) == '/') tokens.emplace_back();
        if (tokens.size() == 33) return -1;
        tokens.back().push_back(byte(p));
        if (tokens.back().size() > 64) return -1;
    }
    return static_cast<std::int32_t>(open);
}

TEST(DictionaryTokens, ParseMatchesThePlainReferenceOnRandomBuffers) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<std::size_t> pick(0, 8);
    for (int round = 0; round < 20000; ++round) {
        Bytes bytes(std::uniform_int_distribution<std::size_t>(0, round % 10 == 0 ? 3000 : 120)(random));
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>("<<>>//a 1"[pick(random)]);
        const auto jpeg = std::uniform_int_distribution<std::int32_t>(
            0, static_cast<std::int32_t>(bytes.size()) + 2)(random);
        DictionaryTokens tokens;
        std::vector<std::string> expected;
        DictionaryError error = DictionaryError::None;
        const std::int32_t result = parseImageDictionary(bytes, jpeg, tokens, &error);
        ASSERT_EQ(result, referenceParse(bytes, jpeg, expected)) << "round " << round;
        // Not asking for the reason may shorten the walk, never change the answer.
        ASSERT_EQ(parseImageDictionary(bytes, jpeg, tokens), result) << "round " << round;
        if (result < 0) continue;
        ASSERT_EQ(tokens.count + 1, static_cast<int>(expected.size())) << "round " << round;
        for (int i = 0; i <= tokens.count; ++i) {
            ASSERT_EQ(slotText(tokens, i), expected[static_cast<std::size_t>(i)]) << "round " << round;
            for (int at = tokens.lengths[static_cast<std::size_t>(i)]; at < 64; ++at)
                ASSERT_EQ(tokens.slots[static_cast<std::size_t>(i)][static_cast<std::size_t>(at)], 0);
        }
    }
}

// 64 bytes before the first name and 31 names of 64 bytes fill every slot; one byte more is too long.
TEST(DictionaryTokens, TheLongestDictionaryIsReadWithOrWithoutAReason) {
    std::string full = "<<" + std::string(64, ' ');
    for (int i = 0; i < 31; ++i) full += "/" + std::string(63, 'a');
    for (const auto& [text, readable] : {std::pair{full + ">>", true}, {full + " >>", false}}) {
        const Bytes bytes = testing::toBytes("1 0 obj\n" + text + "\nstream\n\xFF\xD8\xFF\xE0");
        const auto jpeg = static_cast<std::int32_t>(bytes.size() - 4);
        DictionaryTokens tokens;
        DictionaryError error = DictionaryError::None;
        EXPECT_EQ(parseImageDictionary(bytes, jpeg, tokens, &error), readable ? 8 : -1);
        EXPECT_EQ(error, readable ? DictionaryError::None : DictionaryError::TokenTooLong);
        EXPECT_EQ(parseImageDictionary(bytes, jpeg, tokens), readable ? 8 : -1);
    }
}

TEST(DictionaryTokens, LengthIsRewrittenInItsSlotKeepingTheSeparator) {
    DictionaryTokens tokens = parsed("<</Filter/DCTDecode/Length\r\n4711>>");
    for (const std::int32_t value : {2147483647, 0}) {
        writeStreamLength(tokens, value);
        EXPECT_EQ(written(tokens), "<</Filter/DCTDecode/Length\r" + std::to_string(value) + ">>");
    }
}

TEST(DictionaryTokens, ReadsTheDigitsOfTheLengthToken) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"<</Length 500/Filter/DCTDecode>>", 500},
        {"<</Filter/DCTDecode/DecodeParms<</ColorTransform 0>>/Length 100>>", 100},
        {"<</Lengthy 3/Filter/DCTDecode/Length 9>>", 3},  // bytes 1 to 4 compared
        {"<</Filter/DCTDecode/Width 1234>>", 234},        // the last token from position 8
        {"<</Filter/DCTDecode/Length 12 0 R>>", 120},     // digits joined
        {"<</Length 2147483647>>", 2147483647},
        {"<</Length 2147483648>>", -1},
        {"<</Length 99999999999999999999999>>", -1}};
    for (const auto& [dictionary, length] : cases)
        EXPECT_EQ(readStreamLength(parsed(dictionary)), length) << dictionary;
}

TEST(DictionaryTokens, FirstColourSpaceBecomesDeviceGrayOnce) {
    const std::pair<std::string, std::string> cases[] = {
        // second empty: the dictionary stays as it is
        {"<</ColorSpace /DeviceCMYK /Alt /DeviceRGB /Length 5>>",
         "<</ColorSpace /DeviceGray/Alt /DeviceRGB /Length 5>>"},
        {"<</ColorSpace /DeviceRGB\r\n/Length 5>>", "<</ColorSpace /DeviceGray/Length 5>>"},
        {"<</ColorSpace [/DeviceRGB] /Length 5>>", "<</ColorSpace [/DeviceGray] /Length 5>>"},
        {"<</DecodeParms <</CS /DeviceRGB>> /Length 5>>", "<</DecodeParms <</CS /DeviceGray>> /Length 5>>"},
        {"<</ColorSpace 9 0 R/Length 5>>", "<</ColorSpace /DeviceGray/Length 5>>"},
        {"<< /ColorSpace [/ICCBased 9 0 R] /BitsPerComponent 8 /Length 5 >>",
         "<< /ColorSpace /DeviceGray/BitsPerComponent 8 /Length 5 >>"},
        {"<< /ColorSpace [ /ICCBased 9 0 R ]\r\n/Length 5 >>", "<< /ColorSpace /DeviceGray/Length 5 >>"},
        {"<< /Length 5 /ColorSpace 9 0 R >>", "<< /Length 5 /ColorSpace /DeviceGray>>"},
        {"<< /Length 5 /ColorSpace /CalRGB >>", "<< /Length 5 /ColorSpace /DeviceGray>>"},
        {"<</Filter/DCTDecode/Length 5>>", ""},
        {"<</ColorSpace (odd)/Length 5>>", ""},
        {"<</ColorSpace [/ICCBased 9 0 R/Length 5>>", ""},                        // unbalanced
        {"<</ColorSpace [/DeviceN]" + std::string(53, ' ') + "/Length 5>>", ""},  // /DeviceGray would not fit
        {"<<" + std::string(29, '/') + "/Length 5/ColorSpace 9 0 R>>",
         ""}};  // 31 names: a 32nd needs a 33rd slot
    for (const auto& [input, gray] : cases) {
        DictionaryTokens tokens = parsed(input);
        makeDictionaryGray(tokens);
        EXPECT_EQ(written(tokens), gray.empty() ? input : gray);
        makeDictionaryGray(tokens);
        EXPECT_EQ(written(tokens), gray.empty() ? input : gray) << "a second rewrite changes nothing";
    }
}

}  // namespace
}  // namespace pagewash
