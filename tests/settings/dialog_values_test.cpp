#include "settings/dialog_values.h"

#include <gtest/gtest.h>

namespace pagewash {
namespace {

TEST(CorrectionSettings, DefaultsAreTheBuiltInValuesInOrder) {
    const CorrectionSettings settings = takeSettings(DialogValues{});
    const std::int32_t* fields = &settings.colorMode;
    const std::int32_t expected[] = {2, 1, 5, 85, 5, 85, 40, 1, 0};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(fields[i], expected[i]) << "field " << i;
    EXPECT_EQ(settings.color(), ColorMode::YellowingRemoval);
    EXPECT_EQ(settings.gray(), GrayMode::Auto);
    EXPECT_EQ(settings.blur(), BlurMode::None);
}

TEST(CorrectionSettings, TakeSettingsReadsSlidersNotMirrors) {
    DialogValues values;
    values.compression = 77;
    values.compressionBox = 12;
    values.blurStrength = 9;
    values.blurStrengthBox = 3;
    values.colorBlack = 20;
    values.colorBlackBox = 21;
    values.grayWhite = 60;
    values.grayWhiteBox = 61;
    values.blurMode = 2;
    const CorrectionSettings settings = takeSettings(values);
    EXPECT_EQ(settings.compression, 77);
    EXPECT_EQ(settings.blurStrength, 9);
    EXPECT_EQ(settings.colorBlack, 20);
    EXPECT_EQ(settings.grayWhite, 60);
    EXPECT_EQ(settings.blurMode, 2);
}

TEST(DialogValues, MirrorsCopyBothWaysForAllSixPairs) {
    DialogValues values;
    values.colorBlack = 1;
    values.colorWhite = 2;
    values.grayBlack = 3;
    values.grayWhite = 4;
    values.compression = 5;
    values.blurStrength = 6;
    copySlidersToBoxes(values);
    EXPECT_EQ(values.colorBlackBox, 1);
    EXPECT_EQ(values.colorWhiteBox, 2);
    EXPECT_EQ(values.grayBlackBox, 3);
    EXPECT_EQ(values.grayWhiteBox, 4);
    EXPECT_EQ(values.compressionBox, 5);
    EXPECT_EQ(values.blurStrengthBox, 6);

    values.colorBlackBox = 11;
    values.colorWhiteBox = 12;
    values.grayBlackBox = 13;
    values.grayWhiteBox = 14;
    values.compressionBox = 15;
    values.blurStrengthBox = 7;
    copyBoxesToSliders(values);
    EXPECT_EQ(values.colorBlack, 11);
    EXPECT_EQ(values.colorWhite, 12);
    EXPECT_EQ(values.grayBlack, 13);
    EXPECT_EQ(values.grayWhite, 14);
    EXPECT_EQ(values.compression, 15);
    EXPECT_EQ(values.blurStrength, 7);
    EXPECT_EQ(values.colorMode, 2) << "modes are not mirrored";
}

struct PairCase {
    int black, white;
    bool blackMoved;
    int expectBlack, expectWhite;
};

class ReferencePairRule : public ::testing::TestWithParam<PairCase> {};

TEST_P(ReferencePairRule, MovedReferenceWins) {
    const PairCase c = GetParam();
    for (bool colour : {true, false}) {
        DialogValues values;
        ReferencePair pair = colour ? colorPair(values) : grayPair(values);
        pair.black = c.black;
        pair.white = c.white;
        pair.blackBox = -7;
        pair.whiteBox = -7;
        const DialogValues untouched = values;
        if (c.blackMoved) enforceAfterBlackMove(pair);
        else enforceAfterWhiteMove(pair);
        EXPECT_EQ(pair.black, c.expectBlack);
        EXPECT_EQ(pair.white, c.expectWhite);
        // The mirror of the pushed reference follows it; the moved one's mirror is not the rule's business.
        if (c.black < c.white) {
            EXPECT_EQ(pair.blackBox, -7);
            EXPECT_EQ(pair.whiteBox, -7);
        } else if (c.blackMoved) {
            EXPECT_EQ(pair.whiteBox, c.expectWhite);
            EXPECT_EQ(pair.blackBox, -7);
        } else {
            EXPECT_EQ(pair.blackBox, c.expectBlack);
            EXPECT_EQ(pair.whiteBox, -7);
        }
        // The other pair is never touched.
        if (colour) {
            EXPECT_EQ(values.grayBlack, untouched.grayBlack);
            EXPECT_EQ(values.grayWhite, untouched.grayWhite);
            EXPECT_EQ(values.grayBlackBox, untouched.grayBlackBox);
            EXPECT_EQ(values.grayWhiteBox, untouched.grayWhiteBox);
        } else {
            EXPECT_EQ(values.colorBlack, untouched.colorBlack);
            EXPECT_EQ(values.colorWhite, untouched.colorWhite);
            EXPECT_EQ(values.colorBlackBox, untouched.colorBlackBox);
            EXPECT_EQ(values.colorWhiteBox, untouched.colorWhiteBox);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WorkedExamples, ReferencePairRule,
                         ::testing::Values(PairCase{60, 50, true, 60, 61},   // black pushes white
                                           PairCase{60, 50, false, 49, 50},  // white pushes black
                                           PairCase{100, 100, true, 100, 100},
                                           PairCase{100, 100, false, 99, 100},
                                           PairCase{0, 0, false, 0, 0},
                                           PairCase{0, 0, true, 0, 1},
                                           PairCase{5, 85, true, 5, 85},
                                           PairCase{5, 85, false, 5, 85},
                                           PairCase{50, 50, true, 50, 51},
                                           PairCase{50, 50, false, 49, 50}));

TEST(ReferencePairRule, EndsOfRangeSeparateOnTheOtherSlidersTurn) {
    DialogValues values;
    values.colorBlack = 100;
    values.colorWhite = 90;
    enforceAfterBlackMove(colorPair(values));  // white pushed to 100
    EXPECT_EQ(values.colorWhite, 100);
    enforceAfterWhiteMove(colorPair(values));  // the white slider's own notification
    EXPECT_EQ(values.colorBlack, 99);
    EXPECT_EQ(values.colorBlackBox, 99);
    EXPECT_EQ(values.colorWhiteBox, 100);
}

}  // namespace
}  // namespace pagewash
