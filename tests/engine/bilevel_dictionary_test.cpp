#include "engine/images/bilevel_dictionary.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using testing::toBytes;

// The entries written for a dictionary standing at the start of `text`.
std::string entriesOf(const std::string& text) {
    const auto bytes = toBytes(text);
    const std::optional<std::string> entries = bilevelEntries(bytes, 0, 2480, 3508);
    return entries ? *entries : "(none)";
}

TEST(BilevelDictionary, KeepsThePlaceEntriesAndStatesTheGroup4Image) {
    const std::string group4 =
        "/ColorSpace /DeviceGray/BitsPerComponent 1/Filter /CCITTFaxDecode/DecodeParms "
        "<</K -1/Columns 2480/Rows 3508/BlackIs1 false>>";
    struct Case {
        std::string dictionary;
        std::string kept;
    };
    const Case cases[] = {
        {"<< /Type /XObject /Subtype /Image /Width 2480 /Height 3508 /ColorSpace /DeviceRGB "
         "/BitsPerComponent 8 "
         "/Filter /DCTDecode /Length 4711 >>stream",
         "/Type /XObject/Subtype /Image/Width 2480/Height 3508"},
        // Arrays, a nested dictionary and indirect values are taken whole; /Length and /DL go.
        {"<</Filter[/DCTDecode]/DecodeParms<</ColorTransform 0>>/ColorSpace 9 0 R/Length 12 0 R/DL 99"
         "/Width 2480/Height 3508/SMask 7 0 R/Interpolate true>>",
         "/Width 2480/Height 3508/SMask 7 0 R/Interpolate true"},
        // An inverting /Decode of one component stays; one of three components cannot fit.
        {"<</Width 2480/Decode [1 0]/Length 5>>", "/Width 2480/Decode [1 0]"},
        {"<</Width 2480/Decode [1 0 1 0 1 0]/Length 5>>", "/Width 2480"},
    };
    for (const Case& c : cases) EXPECT_EQ(entriesOf(c.dictionary), c.kept + group4) << c.dictionary;
    EXPECT_EQ(entriesOf("<</Width 2480/Length 5"), "(none)");  // no closing ">>": left a JPEG
    EXPECT_FALSE(bilevelEntries(toBytes("<<>>"), 7, 1, 1).has_value());
}

}  // namespace
}  // namespace pagewash
