#include "engine/images/bilevel_dictionary.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/images/mixed_objects.h"
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

// A mixed page's form keeps the entries that still mean something for a form, drops the image's, and
// refuses (the image stays a JPEG) what its layers could not carry.
TEST(MixedForm, KeepsWhatAFormMeansAndNamesItsLayers) {
    const auto entries = [](const std::string& dictionary, const MixedNumbers& numbers) {
        const std::optional<std::string> form = mixedFormEntries(toBytes(dictionary), 0, numbers);
        return form ? *form : "(none)";
    };
    const std::string resources =
        "/Subtype /Form/BBox [-0.01 -0.01 1.01 1.01]/Resources <</XObject <</B 20 0 R/M 21 0 R";
    EXPECT_EQ(
        entries("<< /Type /XObject /Subtype /Image /Width 2480 /Height 3508 /ColorSpace [/ICCBased 5 0 R] "
                "/BitsPerComponent 8 /Filter /DCTDecode /Interpolate true /Intent /Perceptual "
                "/StructParent 4 /OC 9 0 R /Metadata 8 0 R /Length 4711 >>stream",
                {20, 21, 0}),
        "/Type /XObject/StructParent 4/OC 9 0 R/Metadata 8 0 R" + resources + ">>>>");
    EXPECT_EQ(entries("<</Width 1/Height 1>>", {20, 21, 22}), resources + "/F 22 0 R>>>>");
    for (const char* kept : {"<</SMask 7 0 R>>", "<</Mask [0 10]>>", "<</Decode [1 0]>>", "<</Width 1"})
        EXPECT_EQ(entries(kept, {20, 21, 0}), "(none)") << kept;
}

TEST(MixedForm, ContentPaintsTheBackgroundThenTheInk) {
    MixedLayout layout;
    layout.inkComponents = 3;
    layout.inkColor = {255, 0, 51};
    EXPECT_EQ(mixedFormContent(layout), "/B Do\n1.000 0.000 0.200 rg\n/M Do\n");
    layout.inkComponents = 1;
    EXPECT_EQ(mixedFormContent(layout), "/B Do\n1.000 g\n/M Do\n");
    layout.inkLength = 10;
    EXPECT_EQ(mixedFormContent(layout), "/B Do\n/F Do\n");
}

}  // namespace
}  // namespace pagewash
