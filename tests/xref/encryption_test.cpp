#include "engine/xref/encryption.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

namespace pagewash {
namespace {

ByteView bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The rule read plainly: for each /Encrypt key, the sixteen "<<" before it, each one ending before the
// next begins, are read afresh; the first dictionary around the key with an /Encrypt entry decides.
bool plainDeclaresEncryption(ByteView bytes) {
    for (std::size_t at = findFirst(bytes, "/Encrypt", 0, bytes.size()); at != std::string_view::npos;
         at = findFirst(bytes, "/Encrypt", at + 1, bytes.size())) {
        if (!matchesKeyword(bytes, at, "/Encrypt")) continue;
        std::size_t limit = at;
        for (int tries = 0; tries < 16; ++tries) {
            const std::size_t open = findLast(bytes, "<<", limit);
            if (open == std::string_view::npos) break;
            limit = open;
            const auto dictionary = readDictionary(bytes, open);
            if (!dictionary || dictionary->end <= at || dictionary->find("Encrypt") == nullptr) continue;
            std::size_t before = open;
            while (before > 0 && isPdfWhitespace(bytes[before - 1])) --before;
            const DictionaryEntry* type = dictionary->find("Type");
            if ((before >= 7 && matchesKeyword(bytes, before - 7, "trailer")) ||
                (type != nullptr && valueText(bytes, *type) == "/XRef"))
                return true;
            break;
        }
    }
    return false;
}

TEST(DeclaresEncryption, OnlyAnEncryptKeyOfATrailerOrCrossReferenceStreamCounts) {
    const struct {
        std::string_view pdf;
        bool encrypted;
    } cases[] = {
        {"trailer\n<< /Size 3 /Encrypt 5 0 R /Root 1 0 R >>", true},
        {"1 0 obj << /Type /XRef /Encrypt 5 0 R /W [1 2 1] >> stream", true},
        {"trailer << /Info << /Encrypt 1 >> /Root 1 0 R >>", false},  // a nested dictionary's key
        {"trailer << /Root 1 0 R /Names [/Encrypt] >>", false},       // a value
        {"trailer << /EncryptMetadata true >>", false},
        {"1 0 obj << /Type /Page /Encrypt 5 0 R >>", false},
        {"trailer << /Encrypt 5 0 R", false},  // never closed
        {"trailer << /Info << /A << /B 1 >> >> /Encrypt 5 0 R >>", true},
    };
    for (const auto& [pdf, encrypted] : cases) EXPECT_EQ(declaresEncryption(bytesOf(pdf)), encrypted) << pdf;
}

// Token soups with nesting, unclosed and overlapping "<<<" brackets and many keys, against the plain rule.
TEST(DeclaresEncryption, AgreesWithThePlainRuleOnRandomTokenSoups) {
    const std::string_view tokens[] = {
        "<<",          ">>", "<<<", "/Encrypt 1 0 R", "/Encrypt", "trailer", "/Type /XRef",
        "/Type /Page", "[",  "]",   "/K 1",           "(a >> b)", " ",       "\n"};
    std::mt19937 random(7);
    int encrypted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string pdf;
        const int count = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) pdf += std::string(tokens[random() % std::size(tokens)]) + " ";
        const bool expected = plainDeclaresEncryption(bytesOf(pdf));
        encrypted += expected;
        ASSERT_EQ(declaresEncryption(bytesOf(pdf)), expected) << pdf;
    }
    EXPECT_GT(encrypted, 100) << "the soups must reach both answers";
}

}  // namespace
}  // namespace pagewash
