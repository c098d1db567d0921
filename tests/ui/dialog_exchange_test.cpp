#include "ui/dialog_exchange.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QWidget>
#include <vector>

#include "ui/control_ids.h"

namespace pagewash {
namespace {

namespace c = control;

// A bare set of the fifteen bound controls in dialog order, with the group-starting statics that
// end the radio groups, as the dialog lays them out.
class ExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        radios({c::kColorNone, c::kColorAuto, c::kColorYellowing, c::kColorGrayscale, c::kColorManual});
        boundary();
        radios({c::kGrayNone, c::kGrayAuto, c::kGrayManual});
        boundary();
        for (int id : {c::kColorBlackSlider, c::kColorWhiteSlider, c::kGrayBlackSlider, c::kGrayWhiteSlider,
                       c::kCompressionSlider}) {
            slider(id, 0, 100);
        }
        for (int id :
             {c::kColorBlackBox, c::kColorWhiteBox, c::kGrayBlackBox, c::kGrayWhiteBox, c::kCompressionBox}) {
            box(id);
        }
        slider(c::kBlurStrengthSlider, 1, 10);
        radios({c::kBlurNone, c::kBlurAverage});
        box(c::kBlurStrengthBox);  // inside the blur group, not a radio button: not counted
        radios({c::kBlurMedian}, false);
        boundary();
    }

    void radios(std::initializer_list<int> ids, bool startGroup = true) {
        bool first = startGroup;
        for (int id : ids) {
            auto* button = new QRadioButton(&m_parent);
            table.add(id, button, first);
            first = false;
        }
    }
    void boundary() { table.add(0, new QLabel(&m_parent), true); }
    void slider(int id, int min, int max) {
        auto* s = new QSlider(Qt::Horizontal, &m_parent);
        s->setRange(min, max);
        table.add(id, s, false);
    }
    void box(int id) { table.add(id, new QLineEdit(&m_parent), false); }

    QRadioButton* radio(int id) { return qobject_cast<QRadioButton*>(table.widget(id)); }
    QSlider* sliderOf(int id) { return qobject_cast<QSlider*>(table.widget(id)); }
    QLineEdit* boxOf(int id) { return qobject_cast<QLineEdit*>(table.widget(id)); }

    QWidget m_parent;
    ControlTable table;
    DialogExchange exchange;
};

TEST_F(ExchangeTest, RadioGroupRunsInDialogOrderUntilTheNextGroupStart) {
    const auto color = table.radioGroup(c::kColorNone);
    ASSERT_EQ(color.size(), 5);
    EXPECT_EQ(color[2], radio(c::kColorYellowing));
    EXPECT_EQ(color[3], radio(c::kColorGrayscale));
    EXPECT_EQ(table.radioGroup(c::kGrayNone).size(), 3);
    // The number box inside the blur group is skipped without being counted.
    const auto blur = table.radioGroup(c::kBlurNone);
    ASSERT_EQ(blur.size(), 3);
    EXPECT_EQ(blur[2], radio(c::kBlurMedian));
    EXPECT_TRUE(table.radioGroup(4242).isEmpty());
}

TEST_F(ExchangeTest, WriteThenReadRoundTripsEveryValue) {
    DialogValues values;
    values.colorMode = 4;
    values.grayMode = 0;
    values.colorBlack = 11;
    values.colorWhite = 12;
    values.grayBlack = 13;
    values.grayWhite = 14;
    values.colorBlackBox = 21;
    values.colorWhiteBox = 22;
    values.grayBlackBox = 23;
    values.grayWhiteBox = 24;
    values.compressionBox = 25;
    values.compression = 66;
    values.blurStrengthBox = -3;
    values.blurStrength = 7;
    values.blurMode = 2;
    exchange.write(table, values);
    EXPECT_TRUE(radio(c::kColorManual)->isChecked());
    EXPECT_TRUE(radio(c::kGrayNone)->isChecked());
    EXPECT_TRUE(radio(c::kBlurMedian)->isChecked());
    EXPECT_EQ(boxOf(c::kBlurStrengthBox)->text(), QStringLiteral("-3"));
    EXPECT_EQ(boxOf(c::kColorBlackBox)->text(), QStringLiteral("21"));
    EXPECT_EQ(sliderOf(c::kGrayWhiteSlider)->value(), 14);

    DialogValues back{};
    back.colorMode = back.grayMode = back.blurMode = 99;
    ASSERT_TRUE(exchange.read(table, back));
    EXPECT_EQ(takeSettings(back), takeSettings(values));
    EXPECT_EQ(back.colorBlackBox, 21);
    EXPECT_EQ(back.grayWhiteBox, 24);
    EXPECT_EQ(back.compressionBox, 25);
    EXPECT_EQ(back.blurStrengthBox, -3);
}

TEST_F(ExchangeTest, SliderWritesAreLimitedToTheRange) {
    DialogValues values;
    values.colorBlack = 150;
    values.compression = -5;
    values.blurStrength = 0;
    exchange.write(table, values);
    ASSERT_TRUE(exchange.read(table, values));
    EXPECT_EQ(values.colorBlack, 100);
    EXPECT_EQ(values.compression, 0);
    EXPECT_EQ(values.blurStrength, 1);
}

TEST_F(ExchangeTest, RadioPositionOutsideTheGroupUnchecksEveryButtonAndReadsMinusOne) {
    // As in the dialog: each group is an exclusive button group.
    QButtonGroup group;
    for (QRadioButton* button : table.radioGroup(c::kColorNone)) group.addButton(button);
    DialogValues values;
    exchange.write(table, values);
    EXPECT_TRUE(radio(c::kColorYellowing)->isChecked());
    values.colorMode = 7;
    exchange.write(table, values);
    for (QRadioButton* button : table.radioGroup(c::kColorNone)) EXPECT_FALSE(button->isChecked());
    ASSERT_TRUE(exchange.read(table, values));
    EXPECT_EQ(values.colorMode, -1);
    EXPECT_TRUE(group.exclusive()) << "exclusivity is restored after the write";
    values.colorMode = 1;
    exchange.write(table, values);
    EXPECT_TRUE(radio(c::kColorAuto)->isChecked());
}

TEST_F(ExchangeTest, NumberBoxAlreadyShowingTheValueIsLeftAlone) {
    DialogValues values;
    exchange.write(table, values);
    int changes = 0;
    QObject::connect(boxOf(c::kCompressionBox), &QLineEdit::textChanged, [&] { ++changes; });
    exchange.write(table, values);
    EXPECT_EQ(changes, 0);
    values.compressionBox = 41;
    exchange.write(table, values);
    EXPECT_EQ(changes, 1);
}

TEST_F(ExchangeTest, NotificationsDuringAnExchangeSeeItRunning) {
    std::vector<bool> seen;
    QObject::connect(boxOf(c::kGrayWhiteBox), &QLineEdit::textChanged,
                     [&] { seen.push_back(exchange.isExchanging()); });
    DialogValues values;
    values.grayWhiteBox = 70;
    exchange.write(table, values);
    boxOf(c::kGrayWhiteBox)->setText(QStringLiteral("71"));  // a change from outside
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
    EXPECT_FALSE(exchange.isExchanging());
}

TEST_F(ExchangeTest, ReadStopsAtABoxThatDoesNotHoldAnInteger) {
    DialogValues values;
    exchange.write(table, values);
    sliderOf(c::kColorBlackSlider)->setValue(33);
    boxOf(c::kColorWhiteBox)->setText(QStringLiteral("8x"));
    sliderOf(c::kGrayBlackSlider)->setValue(44);
    int failed = 0;
    EXPECT_FALSE(exchange.read(table, values, &failed));
    EXPECT_EQ(failed, c::kColorWhiteBox);
    EXPECT_EQ(values.colorBlack, 33) << "bindings before the box are taken";
    EXPECT_EQ(values.grayBlack, 5) << "bindings after the box are not";
    EXPECT_FALSE(exchange.isExchanging());
}

}  // namespace
}  // namespace pagewash
