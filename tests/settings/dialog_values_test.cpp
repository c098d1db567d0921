#include "settings/dialog_values.h"

#include <gtest/gtest.h>

namespace pagewash {
namespace {

// The six slider / number box pairs, each as (slider, box).
std::vector<std::pair<int*, int*>> mirrors(DialogValues& v) {
    return {{&v.colorBlack, &v.colorBlackBox},   {&v.colorWhite, &v.colorWhiteBox},
            {&v.grayBlack, &v.grayBlackBox},     {&v.grayWhite, &v.grayWhiteBox},
            {&v.compression, &v.compressionBox}, {&v.blurStrength, &v.blurStrengthBox}};
}

TEST(DialogValues, MirrorsCopyBothWaysAndTheSettingsAreTakenFromTheSliders) {
    DialogValues values;
    values.blurMode = 2;
    int k = 0;
    for (auto [slider, box] : mirrors(values)) *slider = ++k, *box = 20 + k;
    const CorrectionSettings settings = takeSettings(values);
    EXPECT_EQ(
        (std::vector<int>{settings.colorBlack, settings.colorWhite, settings.grayBlack, settings.grayWhite,
                          settings.compression, settings.blurStrength, settings.blurMode}),
        (std::vector<int>{1, 2, 3, 4, 5, 6, 2}));
    copySlidersToBoxes(values);
    for (auto [slider, box] : mirrors(values)) EXPECT_EQ(*box, *slider);
    k = 0;
    for (auto [slider, box] : mirrors(values)) *box = 10 + ++k;
    copyBoxesToSliders(values);
    k = 0;
    for (auto [slider, box] : mirrors(values)) EXPECT_EQ(*slider, 10 + ++k);
}

struct PairCase {
    int black, white;
    bool blackMoved;
    int expectBlack, expectWhite;
};
class ReferencePairRule : public ::testing::TestWithParam<PairCase> {};

TEST_P(ReferencePairRule, MovedReferenceWinsAndOnlyThePushedMirrorFollows) {
    const PairCase c = GetParam();
    for (bool colour : {true, false}) {
        DialogValues values;
        ReferencePair pair = colour ? colorPair(values) : grayPair(values);
        pair.black = c.black;
        pair.white = c.white;
        pair.blackBox = pair.whiteBox = -7;
        const DialogValues other = values;
        c.blackMoved ? enforceAfterBlackMove(pair) : enforceAfterWhiteMove(pair);
        EXPECT_EQ(pair.black, c.expectBlack);
        EXPECT_EQ(pair.white, c.expectWhite);
        const bool pushed = c.black >= c.white;
        EXPECT_EQ(pair.whiteBox, pushed && c.blackMoved ? c.expectWhite : -7);
        EXPECT_EQ(pair.blackBox, pushed && !c.blackMoved ? c.expectBlack : -7);
        const auto otherPair = [&](DialogValues& v) {
            const ReferencePair p = colour ? grayPair(v) : colorPair(v);
            return std::vector<int>{p.black, p.white, p.blackBox, p.whiteBox};
        };
        DialogValues before = other;
        EXPECT_EQ(otherPair(values), otherPair(before)) << "the other pair is never touched";
    }
}

INSTANTIATE_TEST_SUITE_P(WorkedExamples, ReferencePairRule,
                         ::testing::Values(PairCase{60, 50, true, 60, 61}, PairCase{60, 50, false, 49, 50},
                                           PairCase{100, 100, true, 100, 100},
                                           PairCase{100, 100, false, 99, 100}, PairCase{0, 0, false, 0, 0},
                                           PairCase{0, 0, true, 0, 1}, PairCase{5, 85, true, 5, 85},
                                           PairCase{50, 50, false, 49, 50}));

}  // namespace
}  // namespace pagewash
