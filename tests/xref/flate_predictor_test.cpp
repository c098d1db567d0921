#include "engine/pdf/flate_predictor.h"

#include <gtest/gtest.h>

#include <random>

namespace pagewash {
namespace {

PredictorParameters png(std::int64_t columns, std::int64_t colors = 1) {
    PredictorParameters parameters;
    parameters.predictor = 12;
    parameters.columns = columns;
    parameters.colors = colors;
    return parameters;
}

TEST(Predictor, PngRowsOfEveryFilterAreUndone) {
    // Two rows of 3 bytes: [10 20 30] and [15 25 40], the second row written with each filter
    // by hand from the definitions.
    const std::vector<std::uint8_t> plain{10, 20, 30, 15, 25, 40};
    const std::vector<std::vector<std::uint8_t>> secondRows{
        {0, 15, 25, 40},                                  // None
        {1, 15, 10, 15},                                  // Sub: x - left
        {2, 5, 5, 10},                                    // Up: x - above
        {3, 10, 25 - (15 + 20) / 2, 40 - (25 + 30) / 2},  // Average
        {4, 5, 5, 10},                                    // Paeth picks "above" here
    };
    for (std::size_t filter = 0; filter < secondRows.size(); ++filter) {
        std::vector<std::uint8_t> data{0, 10, 20, 30};
        data.insert(data.end(), secondRows[filter].begin(), secondRows[filter].end());
        const auto rows = removePredictor(data, png(3));
        ASSERT_TRUE(rows) << rows.refusal().reason;
        EXPECT_EQ(*rows, plain) << "filter " << filter;
    }
}

TEST(Predictor, UnknownFilterAndIncompleteRowAreErrors) {
    const auto unknown = removePredictor(std::vector<std::uint8_t>{5, 1, 2, 3}, png(3));
    ASSERT_FALSE(unknown);
    EXPECT_NE(unknown.refusal().reason.find("filter 5"), std::string::npos);
    const auto incomplete = removePredictor(std::vector<std::uint8_t>{2, 1, 2}, png(3));
    ASSERT_FALSE(incomplete);
    EXPECT_NE(incomplete.refusal().reason.find("incomplete"), std::string::npos);
}

TEST(Predictor, ApplyThenRemoveGivesTheRowsBack) {
    std::mt19937 random(5);
    for (const std::int64_t predictor : {1, 2, 10, 12, 15}) {
        for (const std::int64_t columns : {1, 4, 7}) {
            PredictorParameters parameters = png(columns);
            parameters.predictor = predictor;
            std::vector<std::uint8_t> rows(static_cast<std::size_t>(columns * 9));
            for (std::uint8_t& b : rows) b = static_cast<std::uint8_t>(random());
            const auto back = removePredictor(applyPredictor(rows, parameters), parameters);
            ASSERT_TRUE(back) << back.refusal().reason;
            EXPECT_EQ(*back, rows) << "predictor " << predictor << " columns " << columns;
        }
    }
}

TEST(Flate, DeflateThenInflateAndLimits) {
    std::vector<std::uint8_t> data(10000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    const std::vector<std::uint8_t> packed = deflateZlib(data);
    const auto back = inflateZlib(packed, data.size());
    ASSERT_TRUE(back) << back.refusal().reason;
    EXPECT_EQ(*back, data);
    EXPECT_FALSE(inflateZlib(packed, data.size() - 1));
    const std::vector<std::uint8_t> cut(packed.begin(), packed.begin() + 20);
    const auto early = inflateZlib(cut, data.size());
    ASSERT_FALSE(early);
    EXPECT_NE(early.refusal().reason.find("ends early"), std::string::npos);
}

}  // namespace
}  // namespace pagewash
