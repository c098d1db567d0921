// Sauvola's threshold over running sums. Highway compiles the per-pixel decision once per vector target
// (see foreach_target.h) and HWY_DYNAMIC_DISPATCH runs the widest form this processor has; the lanes do
// sauvolaBlack's double steps in the same order, so the result is the same bit for bit.

#include "imaging/bilevel_sauvola.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/bilevel_sauvola.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::sauvola::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

constexpr std::size_t kUnit = SauvolaBinarizer::kUnit;

// The column sums of the window's rows as the window moves down a row: the pixels of `entering` (may be
// null) added, those of `leaving` (may be null) taken off, over `count` columns.
void moveColumnsOn(const std::uint8_t* entering, const std::uint8_t* leaving, std::uint32_t* columnSum,
                   std::uint32_t* columnSquares, std::size_t count) {
    const hn::ScalableTag<std::uint32_t> d;
    const hn::Rebind<std::uint8_t, decltype(d)> d8;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t x = 0;
    if (entering != nullptr && leaving != nullptr) {
        // e^2 - l^2 = (e - l)(e + l): one product per column, modulo 2^32 as the sums are kept.
        for (; x + lanes <= count; x += lanes) {
            const auto in = hn::PromoteTo(d, hn::LoadU(d8, entering + x));
            const auto out = hn::PromoteTo(d, hn::LoadU(d8, leaving + x));
            const auto change = hn::Sub(in, out);
            hn::StoreU(hn::Add(hn::LoadU(d, columnSum + x), change), d, columnSum + x);
            hn::StoreU(hn::Add(hn::LoadU(d, columnSquares + x), hn::Mul(change, hn::Add(in, out))), d,
                       columnSquares + x);
        }
    }
    for (; x + lanes <= count; x += lanes) {
        auto sum = hn::LoadU(d, columnSum + x);
        auto squares = hn::LoadU(d, columnSquares + x);
        if (entering != nullptr) {
            const auto v = hn::PromoteTo(d, hn::LoadU(d8, entering + x));
            sum = hn::Add(sum, v);
            squares = hn::Add(squares, hn::Mul(v, v));
        }
        if (leaving != nullptr) {
            const auto v = hn::PromoteTo(d, hn::LoadU(d8, leaving + x));
            sum = hn::Sub(sum, v);
            squares = hn::Sub(squares, hn::Mul(v, v));
        }
        hn::StoreU(sum, d, columnSum + x);
        hn::StoreU(squares, d, columnSquares + x);
    }
    for (; x < count; ++x) {
        if (entering != nullptr) {
            const std::uint32_t v = entering[x];
            columnSum[x] += v;
            columnSquares[x] += v * v;
        }
        if (leaving != nullptr) {
            const std::uint32_t v = leaving[x];
            columnSum[x] -= v;
            columnSquares[x] -= v * v;
        }
    }
}

// The running sums along the row of the column sums: running[0] = 0, running[x + 1] = running[x] +
// columns[x], modulo 2^32, for sums and squares. Four lanes at a time: each lane's running sum within its
// four by two shifted adds, then the total of the lanes before. Each vector waits on the total of the one
// before it, so the row is cut in four parts whose sums run side by side, each from 0; each part then gets
// the total of the parts before it.
void runningSumsOn(const std::uint32_t* columnSum, const std::uint32_t* columnSquares,
                   std::uint32_t* runningSum, std::uint32_t* runningSquares, std::size_t count) {
    runningSum[0] = 0;
    runningSquares[0] = 0;
    std::size_t x = 0;
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
    // Sixteen lanes at a time, their running sums in four shifts across the whole vector (one shuffle
    // each), then the total of the lanes before; the two rows' chains run side by side. Fewer shuffles
    // per column than four lanes at a time, where the shuffles take the longest.
    const hn::ScalableTag<std::uint32_t> d;
    constexpr std::size_t kLanes = 16;
    if (hn::Lanes(d) == kLanes && count >= kLanes) {
        using Index = decltype(hn::SetTableIndices(d, static_cast<const std::int32_t*>(nullptr)));
        std::int32_t from[kLanes];
        const auto shiftBy = [&](std::int32_t shift) {
            for (std::int32_t lane = 0; lane < static_cast<std::int32_t>(kLanes); ++lane)
                from[lane] = std::max(lane - shift, 0);
            return hn::SetTableIndices(d, from);
        };
        const Index by1 = shiftBy(1), by2 = shiftBy(2), by4 = shiftBy(4), by8 = shiftBy(8);
        for (std::int32_t& lane : from) lane = kLanes - 1;
        const Index last = hn::SetTableIndices(d, from);
        const auto first1 = hn::FirstN(d, 1), first2 = hn::FirstN(d, 2), first4 = hn::FirstN(d, 4),
                   first8 = hn::FirstN(d, 8);
        const auto runningInVector = [&](decltype(hn::Zero(d)) v) {
            v = hn::Add(v, hn::IfThenZeroElse(first1, hn::TableLookupLanes(v, by1)));
            v = hn::Add(v, hn::IfThenZeroElse(first2, hn::TableLookupLanes(v, by2)));
            v = hn::Add(v, hn::IfThenZeroElse(first4, hn::TableLookupLanes(v, by4)));
            return hn::Add(v, hn::IfThenZeroElse(first8, hn::TableLookupLanes(v, by8)));
        };
        auto sumCarry = hn::Zero(d);
        auto squaresCarry = hn::Zero(d);
        for (; x + kLanes <= count; x += kLanes) {
            const auto sum = hn::Add(runningInVector(hn::LoadU(d, columnSum + x)), sumCarry);
            const auto squares = hn::Add(runningInVector(hn::LoadU(d, columnSquares + x)), squaresCarry);
            hn::StoreU(sum, d, runningSum + x + 1);
            hn::StoreU(squares, d, runningSquares + x + 1);
            sumCarry = hn::TableLookupLanes(sum, last);
            squaresCarry = hn::TableLookupLanes(squares, last);
        }
    }
#elif HWY_TARGET != HWY_SCALAR
    constexpr std::size_t kParts = 4;
    const std::size_t part = count / (4 * kParts) * 4;
    if (part > 0) {
        const hn::Full128<std::uint32_t> d;
        // Part p's running sums (from 0) of columns[from, from + 4) after `carry`, stored from from + 1.
        const auto step = [&](const std::uint32_t* columns, std::uint32_t* running, std::size_t from,
                              decltype(hn::Zero(d)) carry) {
            auto v = hn::LoadU(d, columns + from);
            v = hn::Add(v, hn::ShiftLeftLanes<1>(d, v));
            v = hn::Add(hn::Add(v, hn::ShiftLeftLanes<2>(d, v)), carry);
            hn::StoreU(v, d, running + from + 1);
            return hn::Broadcast<3>(v);
        };
        auto sum0 = hn::Zero(d), sum1 = hn::Zero(d), sum2 = hn::Zero(d), sum3 = hn::Zero(d);
        auto squares0 = hn::Zero(d), squares1 = hn::Zero(d), squares2 = hn::Zero(d), squares3 = hn::Zero(d);
        for (std::size_t i = 0; i < part; i += 4) {
            sum0 = step(columnSum, runningSum, i, sum0);
            sum1 = step(columnSum, runningSum, part + i, sum1);
            sum2 = step(columnSum, runningSum, 2 * part + i, sum2);
            sum3 = step(columnSum, runningSum, 3 * part + i, sum3);
            squares0 = step(columnSquares, runningSquares, i, squares0);
            squares1 = step(columnSquares, runningSquares, part + i, squares1);
            squares2 = step(columnSquares, runningSquares, 2 * part + i, squares2);
            squares3 = step(columnSquares, runningSquares, 3 * part + i, squares3);
        }
        // Part p (1..3) from running[p * part + 1] on, after the total of the parts before it.
        const hn::ScalableTag<std::uint32_t> dw;
        const std::size_t lanes = hn::Lanes(dw);
        for (std::size_t p = 1; p < kParts; ++p) {
            const std::size_t first = p * part + 1;
            const std::uint32_t sumBefore = runningSum[first - 1];
            const std::uint32_t squaresBefore = runningSquares[first - 1];
            const auto sumAdd = hn::Set(dw, sumBefore);
            const auto squaresAdd = hn::Set(dw, squaresBefore);
            std::size_t i = first;
            for (; i + lanes <= first + part; i += lanes) {
                hn::StoreU(hn::Add(hn::LoadU(dw, runningSum + i), sumAdd), dw, runningSum + i);
                hn::StoreU(hn::Add(hn::LoadU(dw, runningSquares + i), squaresAdd), dw, runningSquares + i);
            }
            for (; i < first + part; ++i) {
                runningSum[i] += sumBefore;
                runningSquares[i] += squaresBefore;
            }
        }
        x = kParts * part;
    }
#endif
    std::uint32_t sumSoFar = runningSum[x];
    std::uint32_t squaresSoFar = runningSquares[x];
    for (; x < count; ++x) {
        sumSoFar += columnSum[x];
        squaresSoFar += columnSquares[x];
        runningSum[x + 1] = sumSoFar;
        runningSquares[x + 1] = squaresSoFar;
    }
}

// Decides `count` pixels, pixel i's window holding rows * columns[i] pixels, their sums the differences
// upper[i] - lower[i] of running (modulo 2^32) sums, in double lanes: sauvolaBlack's steps, lane by lane;
// writes 1 for black, 0 for white, into black[i]. REQUIRES: count a whole number of double vectors.
void decideExactly(const std::uint8_t* pixels, const std::uint32_t* upperSum, const std::uint32_t* lowerSum,
                   const std::uint32_t* upperSquares, const std::uint32_t* lowerSquares,
                   const std::uint32_t* columns, std::uint32_t rows, std::size_t count, double k,
                   std::uint8_t* black) {
    const hn::ScalableTag<double> d;
    const hn::Rebind<std::uint32_t, decltype(d)> du32;
    const hn::Rebind<std::int32_t, decltype(d)> di32;
    const hn::Rebind<std::uint8_t, decltype(d)> du8;
    const std::size_t lanes = hn::Lanes(d);
    const auto rowCount = hn::Set(du32, rows);
    const auto paperShare = hn::Set(d, 1.0 - k);
    const auto kVec = hn::Set(d, k);
    const auto range = hn::Set(d, 128.0);
    const auto zero = hn::Zero(d);
    const auto one = hn::Set(d, 1.0);
    const auto low16 = hn::Set(du32, 0xFFFFu);
    const auto high16 = hn::Set(d, 65536.0);
    for (std::size_t i = 0; i < count; i += lanes) {
        const auto sum32 = hn::Sub(hn::LoadU(du32, upperSum + i), hn::LoadU(du32, lowerSum + i));
        const auto squares32 = hn::Sub(hn::LoadU(du32, upperSquares + i), hn::LoadU(du32, lowerSquares + i));
        // The sum is below 2^24; the sum of squares may pass 2^31 and is taken in two halves. Every
        // value here is an integer below 2^53: exact in double, as sauvolaBlack's 64-bit integers.
        const auto sum = hn::PromoteTo(d, hn::BitCast(di32, sum32));
        const auto squares =
            hn::Add(hn::Mul(hn::PromoteTo(d, hn::BitCast(di32, hn::ShiftRight<16>(squares32))), high16),
                    hn::PromoteTo(d, hn::BitCast(di32, hn::And(squares32, low16))));
        const auto pixelCount =
            hn::PromoteTo(d, hn::BitCast(di32, hn::Mul(hn::LoadU(du32, columns + i), rowCount)));
        const auto pixel = hn::PromoteTo(d, hn::PromoteTo(di32, hn::LoadU(du8, pixels + i)));
        const auto pixelTimesN = hn::Mul(pixel, pixelCount);
        const auto aboveMean = hn::Gt(pixelTimesN, sum);
        const auto excess = hn::Sub(pixelTimesN, hn::Mul(sum, paperShare));
        const auto spread = hn::Sub(hn::Mul(pixelCount, squares), hn::Mul(sum, sum));
        const auto scaled = hn::Mul(hn::Mul(excess, pixelCount), range);
        const auto bound = hn::Mul(sum, kVec);
        const auto belowThreshold = hn::Or(
            hn::Le(excess, zero), hn::Le(hn::Mul(scaled, scaled), hn::Mul(hn::Mul(bound, bound), spread)));
        const auto isBlack = hn::AndNot(aboveMean, belowThreshold);
        const auto flag = hn::DemoteTo(di32, hn::IfThenElseZero(isBlack, one));
        hn::StoreU(hn::DemoteTo(du8, flag), du8, black + i);
    }
}

// Bits of a byte in reverse order: a mask's first lane is its lowest bit, a 1-bit row's first pixel the
// highest.
constexpr std::uint8_t reversed(unsigned byte) {
    unsigned out = 0;
    for (int bit = 0; bit < 8; ++bit) out |= ((byte >> bit) & 1u) << (7 - bit);
    return static_cast<std::uint8_t>(out);
}

// Decides `units` runs of 16 pixels as decideExactly would and writes each run's 16 bits, the first pixel
// in the top bit of the first byte, 1 for black. Twice as many float lanes as double lanes take
// sauvolaBlack's steps, each value with a bound on its error: the sums' sums of squares, times n, differ
// in floats by up to a few units of 2^-24 of them, taken as 2^-20 of them, and every product by 2^-24 of
// itself, taken as 2^-16. A lane decided by the floats is one whose two sides of a comparison stay apart
// by far more than the doubles' own rounding. Only a vector with a lane near its threshold is decided
// again in doubles: rare, so that the branch is foreseen.
void decideUnitsOn(const std::uint8_t* pixels, const std::uint32_t* upperSum, const std::uint32_t* lowerSum,
                   const std::uint32_t* upperSquares, const std::uint32_t* lowerSquares,
                   const std::uint32_t* columns, std::uint32_t rows, std::size_t units, double k,
                   std::uint8_t* bits) {
    static constexpr auto kReversed = [] {
        std::array<std::uint8_t, 256> table{};
        for (unsigned byte = 0; byte < 256; ++byte) table[byte] = reversed(byte);
        return table;
    }();
    const hn::ScalableTag<float> df;
    const hn::Rebind<std::int32_t, decltype(df)> di;
    const hn::Rebind<std::uint32_t, decltype(df)> du;
    const hn::Rebind<std::uint8_t, decltype(df)> d8;
    const std::size_t lanes = hn::Lanes(df);
    const std::uint32_t laneBits = lanes >= 32 ? 0xFFFFFFFFu : (1u << lanes) - 1u;
    const auto rowCount = hn::Set(di, static_cast<std::int32_t>(rows));
    const auto paperShare = hn::Set(df, static_cast<float>(1.0 - k));
    const auto kVec = hn::Set(df, static_cast<float>(k));
    const auto range = hn::Set(df, 128.0f);
    const auto low16 = hn::Set(du, 0xFFFFu);
    const auto high16 = hn::Set(df, 65536.0f);
    const auto absoluteError = hn::Set(df, 0x1p-20f);
    const auto up = hn::Set(df, 1.0f + 0x1p-16f);
    const auto down = hn::Set(df, 1.0f - 0x1p-16f);
    const auto zero = hn::Zero(df);
    for (std::size_t unit = 0; unit < units; ++unit) {
        std::uint32_t unitBits = 0;
        for (std::size_t lane = 0; lane < kUnit; lane += lanes) {
            const std::size_t i = unit * kUnit + lane;
            const auto sum32 =
                hn::BitCast(di, hn::Sub(hn::LoadU(du, upperSum + i), hn::LoadU(du, lowerSum + i)));
            const auto squares32 = hn::Sub(hn::LoadU(du, upperSquares + i), hn::LoadU(du, lowerSquares + i));
            // n below 2^17, n * 128 below 2^24 and pixel * n below 2^24: exact in floats.
            const auto pixelCount32 = hn::Mul(hn::BitCast(di, hn::LoadU(du, columns + i)), rowCount);
            const auto pixelTimesN32 = hn::Mul(hn::PromoteTo(di, hn::LoadU(d8, pixels + i)), pixelCount32);
            const auto aboveMean = hn::RebindMask(df, hn::Gt(pixelTimesN32, sum32));
            const auto pixelCount = hn::ConvertTo(df, pixelCount32);
            const auto scale = hn::Mul(pixelCount, range);
            const auto sum = hn::ConvertTo(df, sum32);
            const auto pixelTimesN = hn::ConvertTo(df, pixelTimesN32);
            const auto squares =
                hn::Add(hn::Mul(hn::ConvertTo(df, hn::BitCast(di, hn::ShiftRight<16>(squares32))), high16),
                        hn::ConvertTo(df, hn::BitCast(di, hn::And(squares32, low16))));
            const auto squaresTimesN = hn::Mul(pixelCount, squares);
            const auto sumSquared = hn::Mul(sum, sum);
            const auto spread = hn::Sub(squaresTimesN, sumSquared);
            const auto spreadError = hn::Mul(hn::Add(squaresTimesN, sumSquared), absoluteError);
            const auto spreadHigh = hn::Add(spread, spreadError);
            const auto spreadLow = hn::Max(hn::Sub(spread, spreadError), zero);
            // Where the pixel is not above the mean, pixel * n and sum * (1 - k) are below the sum.
            const auto excess = hn::Sub(pixelTimesN, hn::Mul(sum, paperShare));
            const auto excessError = hn::Mul(sum, absoluteError);
            const auto excessHigh = hn::Add(excess, excessError);
            const auto excessLow = hn::Sub(excess, excessError);
            const auto scaledLow = hn::Mul(excessLow, scale);
            const auto scaledHigh = hn::Mul(excessHigh, scale);
            const auto bound = hn::Mul(sum, kVec);
            const auto boundSquared = hn::Mul(bound, bound);
            const auto leftLow = hn::Mul(hn::Mul(scaledLow, scaledLow), down);
            const auto leftHigh = hn::Mul(hn::Mul(scaledHigh, scaledHigh), up);
            const auto rightLow = hn::Mul(hn::Mul(boundSquared, spreadLow), down);
            const auto rightHigh = hn::Mul(hn::Mul(boundSquared, spreadHigh), up);
            const auto positive = hn::Gt(excessLow, zero);
            const auto white = hn::Or(aboveMean, hn::And(positive, hn::Gt(leftLow, rightHigh)));
            const auto isBlack = hn::AndNot(
                aboveMean, hn::Or(hn::Lt(excessHigh, zero), hn::And(positive, hn::Lt(leftHigh, rightLow))));
            std::uint32_t laneFlags = 0;
            if (hn::AllTrue(df, hn::Or(white, isBlack))) {
                std::uint8_t maskBytes[8] = {};
                hn::StoreMaskBits(df, isBlack, maskBytes);
                laneFlags = (std::uint32_t{maskBytes[0]} | std::uint32_t{maskBytes[1]} << 8) & laneBits;
            } else {
                std::uint8_t black[kUnit];
                decideExactly(pixels + i, upperSum + i, lowerSum + i, upperSquares + i, lowerSquares + i,
                              columns + i, rows, lanes, k, black);
                for (std::size_t l = 0; l < lanes; ++l) laneFlags |= std::uint32_t{black[l]} << l;
            }
            unitBits |= laneFlags << lane;
        }
        bits[2 * unit] = kReversed[unitBits & 0xFFu];
        bits[2 * unit + 1] = kReversed[(unitBits >> 8) & 0xFFu];
    }
}

}  // namespace pagewash::sauvola::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pagewash {

namespace sauvola {
namespace {
HWY_EXPORT(decideUnitsOn);
HWY_EXPORT(moveColumnsOn);
HWY_EXPORT(runningSumsOn);
}  // namespace

void decideUnits(const std::uint8_t* pixels, const std::uint32_t* upperSum, const std::uint32_t* lowerSum,
                 const std::uint32_t* upperSquares, const std::uint32_t* lowerSquares,
                 const std::uint32_t* columns, std::uint32_t rows, std::size_t units, double k,
                 std::uint8_t* bits) {
    HWY_DYNAMIC_DISPATCH(decideUnitsOn)
    (pixels, upperSum, lowerSum, upperSquares, lowerSquares, columns, rows, units, k, bits);
}

void moveColumns(const std::uint8_t* entering, const std::uint8_t* leaving, std::uint32_t* columnSum,
                 std::uint32_t* columnSquares, std::size_t count) {
    HWY_DYNAMIC_DISPATCH(moveColumnsOn)(entering, leaving, columnSum, columnSquares, count);
}

void runningSums(const std::uint32_t* columnSum, const std::uint32_t* columnSquares,
                 std::uint32_t* runningSum, std::uint32_t* runningSquares, std::size_t count) {
    HWY_DYNAMIC_DISPATCH(runningSumsOn)(columnSum, columnSquares, runningSum, runningSquares, count);
}
}  // namespace sauvola

int estimatedDpi(int width, int height) {
    const int shortSide = std::max(1, std::min(width, height));
    return std::clamp(static_cast<int>(std::lround(shortSide / 8.4)), 50, 1200);
}

SauvolaParameters sauvolaParametersForDpi(int dpi) {
    SauvolaParameters params;
    const int window = (std::clamp(static_cast<int>(std::lround(dpi / 5.0)), 15, kMaxSauvolaWindow) - 1) | 1;
    params.window = window;
    return params;
}

SauvolaBinarizer::SauvolaBinarizer(const std::uint8_t* gray, int width, int height, std::size_t stride,
                                   const SauvolaParameters& params, BilevelImage& out)
    : m_gray(gray),
      m_stride(stride),
      m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_half(std::clamp(params.window, 1, kMaxSauvolaWindow) / 2),
      m_k(params.k),
      m_out(out) {
    out = BilevelImage(width, height);
    if (m_width == 0 || m_height == 0) return;
    const auto w = static_cast<std::size_t>(m_width);
    const auto h = static_cast<std::size_t>(m_half);
    const std::size_t units = (w + kUnit - 1) / kUnit;
    m_columnSum.assign(w, 0);
    m_columnSquares.assign(w, 0);
    // The running sums are kept from `h` places before the row's first to `h` + a unit after its last, 0
    // before it and its total after it, so that every pixel's window, cut by the row's ends or not, is
    // running[x + h + 1] - running[x - h], and every unit is decided alike.
    m_runningSum.assign(h + units * kUnit + h + 1, 0);
    m_runningSquares.assign(m_runningSum.size(), 0);
    // The columns in each pixel's window (fewer near the row's ends); 1 past the row's end, where the
    // pixels decided are dropped.
    m_columns.assign(units * kUnit, 1);
    for (std::size_t x = 0; x < w; ++x)
        m_columns[x] = static_cast<std::uint32_t>(std::min(x + h, w - 1) - (x >= h ? x - h : 0) + 1);
}

void SauvolaBinarizer::moveColumns(const std::uint8_t* entering, const std::uint8_t* leaving) {
    sauvola::moveColumns(entering, leaving, m_columnSum.data(), m_columnSquares.data(), m_columnSum.size());
}

void SauvolaBinarizer::binarizeRowsBefore(int end) {
    const auto w = static_cast<std::size_t>(m_width);
    const auto h = static_cast<std::size_t>(m_half);
    const std::size_t wholeUnits = w / kUnit;
    const std::size_t rowBytes = m_out.stride();
    // The first row's window holds the rows above the middle of its own from the start: they are read here,
    // not before, as a caller may put the rows in place only as it goes.
    if (m_rowsDone == 0 && end > 0)
        for (int y = 0; y < std::min(m_half, m_height); ++y) moveColumns(rowAt(y), nullptr);
    for (int& y = m_rowsDone; y < std::min(end, m_height); ++y) {
        moveColumns(y + m_half < m_height ? rowAt(y + m_half) : nullptr,
                    y - m_half - 1 >= 0 ? rowAt(y - m_half - 1) : nullptr);
        const auto rows =
            static_cast<std::uint32_t>(std::min(y + m_half, m_height - 1) - std::max(y - m_half, 0) + 1);
        sauvola::runningSums(m_columnSum.data(), m_columnSquares.data(), m_runningSum.data() + h,
                             m_runningSquares.data() + h, w);
        std::fill(m_runningSum.begin() + static_cast<std::ptrdiff_t>(h + w + 1), m_runningSum.end(),
                  m_runningSum[h + w]);
        std::fill(m_runningSquares.begin() + static_cast<std::ptrdiff_t>(h + w + 1), m_runningSquares.end(),
                  m_runningSquares[h + w]);
        const std::uint8_t* row = rowAt(y);
        std::uint8_t* bits = m_out.row(y);
        // Pixel x's window: running[x + h + 1] - running[x - h], both shifted by the h places before.
        const auto decide = [&](const std::uint8_t* pixels, std::size_t first, std::size_t count,
                                std::uint8_t* to) {
            sauvola::decideUnits(pixels, m_runningSum.data() + first + 2 * h + 1, m_runningSum.data() + first,
                                 m_runningSquares.data() + first + 2 * h + 1, m_runningSquares.data() + first,
                                 m_columns.data() + first, rows, count, m_k, to);
        };
        decide(row, 0, wholeUnits, bits);
        if (wholeUnits * kUnit < w) {
            // The last pixels of the row, copied: the row may end at the image's end.
            const std::size_t first = wholeUnits * kUnit;
            std::array<std::uint8_t, kUnit> tail{};
            std::array<std::uint8_t, 2> tailBits{};
            std::copy(row + first, row + w, tail.begin());
            decide(tail.data(), first, 1, tailBits.data());
            // The pixels past the row's end stay white: the row's last byte keeps only those within it.
            const std::size_t left = w - first;
            const std::uint32_t within = 0xFFFFu << (kUnit - left) & 0xFFFFu;
            bits[2 * wholeUnits] = static_cast<std::uint8_t>(tailBits[0] & (within >> 8));
            if (2 * wholeUnits + 1 < rowBytes)
                bits[2 * wholeUnits + 1] = static_cast<std::uint8_t>(tailBits[1] & within);
        }
    }
}

void binarizeSauvola(const std::uint8_t* gray, int width, int height, std::size_t stride,
                     const SauvolaParameters& params, BilevelImage& out) {
    SauvolaBinarizer binarizer(gray, width, height, stride, params, out);
    binarizer.binarizeRowsBefore(height);
}

}  // namespace pagewash
#endif  // HWY_ONCE
