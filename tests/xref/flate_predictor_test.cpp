#include "engine/pdf/flate_predictor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace pagewash {
namespace {

using Rows = std::vector<std::uint8_t>;
constexpr int kTiff = 5;  // among the filters below, 0..4 are the PNG filters and 5 the TIFF predictor

// The predictors written straight from their definitions: each byte minus its prediction from the byte
// a pixel to the left (a), the byte above (b) and the byte above that left one (c).
Rows reference(const Rows& rows, const PredictorParameters& p, int filter) {
    const auto width = static_cast<std::size_t>(p.rowBytes()),
               bpp = static_cast<std::size_t>(p.bytesPerPixel());
    Rows out;
    for (std::size_t start = 0; start < rows.size(); start += width) {
        if (filter != kTiff) out.push_back(static_cast<std::uint8_t>(filter));
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t left = filter == kTiff ? static_cast<std::size_t>(p.colors) : bpp;
            const int a = i >= left ? rows[start + i - left] : 0;
            const int b = start > 0 ? rows[start - width + i] : 0;
            const int c = start > 0 && i >= left ? rows[start - width + i - left] : 0;
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            const int predictions[] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : (pb <= pc ? b : c)};
            out.push_back(
                static_cast<std::uint8_t>(rows[start + i] - (filter == kTiff ? a : predictions[filter])));
        }
    }
    return out;
}

TEST(Predictor, EveryFilterMatchesThePlainReferenceOverManyShapes) {
    // Columns, colours, bits, rows: 1x1, 1xN, Nx1, odd with three colours, 16-bit samples, a page-wide block.
    const std::int64_t shapes[][4] = {{1, 1, 8, 1}, {9, 1, 8, 1},  {1, 1, 8, 9},
                                      {7, 3, 8, 5}, {5, 1, 16, 4}, {620, 4, 8, 6}};
    std::mt19937 random(7);
    for (const auto& [columns, colors, bits, height] : shapes) {
        for (const int filter : {0, 1, 2, 3, 4, kTiff}) {
            if (filter == kTiff && bits != 8) continue;
            const PredictorParameters p{filter == kTiff ? 2 : 12, colors, bits, columns};
            Rows rows(static_cast<std::size_t>(p.rowBytes() * height));
            for (std::uint8_t& byte : rows) byte = static_cast<std::uint8_t>(random());
            SCOPED_TRACE("filter " + std::to_string(filter) + ", " + std::to_string(columns) + " columns x " +
                         std::to_string(height) + " rows, " + std::to_string(colors) + " colours");
            const auto undone = removePredictor(reference(rows, p, filter), p);
            ASSERT_TRUE(undone) << undone.refusal().reason;
            EXPECT_EQ(*undone, rows);
            // Writing tags every PNG row with Up (2).
            EXPECT_EQ(applyPredictor(rows, p), reference(rows, p, filter == kTiff ? filter : 2));
        }
    }
}

TEST(Predictor, BadRowsAndParametersAreRefusedWithTheirReason) {
    using Answer = std::pair<std::int64_t, std::string>;  // the refusal's offset and reason
    const auto refusal = [](const Rows& data, std::int64_t predictor) {
        const auto result = removePredictor(data, {predictor, 1, 8, 3});
        return result ? Answer{0, "accepted"} : Answer{result.refusal().offset, result.refusal().reason};
    };
    EXPECT_EQ(refusal({0, 1, 2, 3, 5, 1, 2, 3}, 12), (Answer{4, "row 1 has the unknown PNG filter 5"}));
    EXPECT_EQ(refusal({2, 1, 2, 3, 2, 1}, 12), (Answer{4, "the last predictor row is incomplete"}));
    EXPECT_EQ(refusal({1, 2, 3}, 3), (Answer{-1, "predictor 3 with these parameters is not supported"}));
}

TEST(Flate, DeflatedDataInflatesBackAndDamageIsRefused) {
    Rows data(10000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * i / 7);
    const Rows packed = deflateZlib(data);
    const auto back = inflateZlib(packed, data.size());
    ASSERT_TRUE(back) << back.refusal().reason;
    EXPECT_TRUE(*back == data);
    EXPECT_EQ(inflateZlib(packed, data.size() - 1).refusal().reason,
              "the stream inflates to more than 9999 bytes");
    const Rows cut(packed.begin(), packed.begin() + 20);
    EXPECT_EQ(inflateZlib(cut, data.size()).refusal().reason, "the compressed data ends early");
    Rows damaged = packed;
    damaged[0] = 0xFF;  // not a zlib header
    EXPECT_EQ(inflateZlib(damaged, data.size()).refusal().reason, "the compressed data is damaged");
}

}  // namespace
}  // namespace pagewash
