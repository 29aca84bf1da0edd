#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "engine/ProgramState.h"
#include "engine/Synthesis.h"
#include "engine/UserError.h"
#include "tests/support/EngineTesting.h"

namespace ravelle {
namespace {

using testing::messageOf;
using testing::makeInput;

TEST(SynthesisTest, GaussianDerivativeValues)
{
    constexpr double kPeak = 24.1970726583;
    struct Row {
        double x, x0, sigma;
        double value, tolerance;
    };
    const Row rows[] = {
        {0.0, 0.1, 0.1, kPeak, 5e-11},     // low-field side: positive
        {0.2, 0.1, 0.1, -kPeak, 5e-11},    // high-field side: negative
        {0.0, 0.1, -0.1, kPeak, 5e-11},    // the sign of sigma does not matter
        {0.1, 0.1, 0.1, 0.0, 0.0},
        {0.0, 100.0, 0.1, 0.0, 0.0},       // far tail underflows silently
        {1e300, -1e300, 1.0, 0.0, 0.0},
    };
    for (const auto& row : rows)
        EXPECT_NEAR(GaussianDerivative(row.x, row.x0, row.sigma), row.value, row.tolerance)
            << row.x << " " << row.x0 << " " << row.sigma;
    EXPECT_EQ(GaussianDerivative(0.2, 0.1, 0.1), -GaussianDerivative(0.0, 0.1, 0.1));
}

TEST(SynthesisTest, GaussianDerivativeFailures)
{
    struct Row {
        double x, x0, sigma;
        std::string_view message;
    };
    const Row rows[] = {
        {0.0, 0.1, 0.0, messages::kDivisionByZero},
        {0.1, 0.1, 0.0, messages::kInvalidOperation}, // 0 / 0 at the line itself
        {0.0, 1e-200, 1e-200, messages::kOverflow},   // too steep for a double
    };
    for (const auto& row : rows)
        EXPECT_EQ(messageOf([&] { GaussianDerivative(row.x, row.x0, row.sigma); }), row.message) << row.sigma;
}

TEST(SynthesisTest, IntegerPowerWrapsLikeThirtyTwoBitProducts)
{
    struct Row {
        std::int32_t base, exponent, value;
    };
    const Row rows[] = {
        {2, 0, 1},   {2, -1, 1},  {0, 0, 1},           {2, 15, 32768},
        {3, 6, 729}, {-2, 3, -8}, {2, 31, INT32_MIN},  {2, 32, 0},
        {3, 20, -808182895}, // 3486784401 - 2^32
        {1, INT32_MAX, 1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IntegerPower(row.base, row.exponent), row.value) << row.base << "^" << row.exponent;
}

TEST(SynthesisTest, LineListCountsLikeAnOdometer)
{
    struct Row {
        std::vector<double> couplingH, couplingN;
        std::vector<double> lines;
    };
    const Row rows[] = {
        {{}, {}, {0.0}},
        {{2.0}, {1.0}, {-2.0, -1.0, 0.0, 0.0, 1.0, 2.0}},
        {{2.0, 2.0}, {}, {-2.0, 0.0, 0.0, 2.0}},
        {{1.0, 0.5}, {}, {-0.75, -0.25, 0.25, 0.75}},
        {{}, {1.5}, {-1.5, 0.0, 1.5}},
        {{}, {1.0, 1.0}, {-2.0, -1.0, 0.0, -1.0, 0.0, 1.0, 0.0, 1.0, 2.0}},
        {{0.0}, {}, {0.0, 0.0}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(buildLineList(row.couplingH, row.couplingN), row.lines);

    const auto many = buildLineList({1.1, 2.3, 0.7, 5.0, 0.2, 3.3, 1.9, 0.4, 2.2, 0.9, 1.3, 4.1},
                                    {1.7, 0.3, 2.9});
    ASSERT_EQ(many.size(), 4096u * 27u);
    for (std::size_t j = 0; j < many.size(); ++j)
        ASSERT_NEAR(many[j], -many[many.size() - 1 - j], 1e-12) << j; // symmetric about zero
}

TEST(SynthesisTest, LineListRefusals)
{
    EXPECT_EQ(messageOf([] { buildLineList({DBL_MAX, DBL_MAX, DBL_MAX}, {}); }), messages::kOverflow);
    EXPECT_EQ(messageOf([] { buildLineList({}, {DBL_MAX, DBL_MAX}); }), messages::kOverflow);
    EXPECT_NE(messageOf([] { buildLineList(std::vector<double>(16, 1.0), {}); }), "");
    EXPECT_NE(messageOf([] { buildLineList({}, std::vector<double>(7, 1.0)); }), "");
}

TEST(SynthesisTest, OneHydrogenGivesAnAntisymmetricNormalisedTrace)
{
    const auto spectrum = synthesizeLiteral(makeInput(30.0, 0.1, 500, {2.0}));
    ASSERT_EQ(spectrum.points, 500);
    ASSERT_EQ(spectrum.field.size(), 501u);
    ASSERT_EQ(spectrum.intensity.size(), 501u);
    EXPECT_EQ(spectrum.frameFieldLow, -15.0);
    EXPECT_EQ(spectrum.frameFieldHigh, 15.0);
    EXPECT_EQ(spectrum.field[0], -15.0);
    EXPECT_EQ(spectrum.field[500], 15.0);
    EXPECT_NEAR(spectrum.field[1], -14.94, 1e-13);
    EXPECT_NEAR(spectrum.field[250], 0.0, 1e-15);
    EXPECT_NEAR(spectrum.intensity[250], 0.0, 1e-12);

    double low = 0, high = 0;
    for (std::size_t i = 0; i <= 500; ++i) {
        low = std::min(low, spectrum.intensity[i]);
        high = std::max(high, spectrum.intensity[i]);
        EXPECT_NEAR(spectrum.intensity[i], -spectrum.intensity[500 - i], 1e-12) << i;
    }
    EXPECT_NEAR(high, 1.0, 1e-12);
    EXPECT_NEAR(low, -1.0, 1e-12);
    EXPECT_DOUBLE_EQ(high - low, 2.0);
    // The raw extremes are the unnormalised ones.
    EXPECT_NEAR(spectrum.rawHigh, -spectrum.rawLow, 1e-9);
    EXPECT_GT(spectrum.rawHigh, 1.0);
    // Lines at -1 and +1: positive just below each line, negative just above.
    EXPECT_GT(spectrum.intensity[232], 0.5); // -1.08 G
    EXPECT_LT(spectrum.intensity[235], -0.5); // -0.90 G
}

TEST(SynthesisTest, SumIsEveryLineAtEveryPointInListOrder)
{
    // Lines up to 23 G from the grid points, with sigma 0.1: far terms
    // underflow to zero, near ones count. The result must not differ by a bit
    // from adding GaussianDerivative for every line, in list order, each sum
    // taken in extended precision and stored as a double.
    const std::vector<double> couplingH{16.0, 3.1};
    const std::vector<double> couplingN{0.35};
    const double sigma = 0.1;
    const auto spectrum = synthesizeLiteral(makeInput(30.0, sigma, 600, couplingH, couplingN));
    const auto lines = buildLineList(couplingH, couplingN);

    std::vector<double> raw;
    for (const double x : spectrum.field) {
        double total = 0.0;
        for (const double line : lines)
            total = static_cast<double>(static_cast<long double>(GaussianDerivative(x, line, sigma)) + total);
        raw.push_back(total);
    }
    const double high = *std::max_element(raw.begin(), raw.end());
    const double low = *std::min_element(raw.begin(), raw.end());
    EXPECT_EQ(spectrum.rawHigh, high);
    EXPECT_EQ(spectrum.rawLow, low);
    for (std::size_t i = 0; i < raw.size(); ++i)
        ASSERT_EQ(spectrum.intensity[i],
                  static_cast<double>(2 * static_cast<long double>(raw[i]) / (static_cast<long double>(high) - low)))
            << i;
}

TEST(SynthesisTest, EquivalentNucleiGiveBinomialAndTrinomialHeights)
{
    // Grid step 0.1 G: each line's positive extreme (0.1 G below it) is a
    // grid point, and the lines are 15 sigma or more apart.
    struct Row {
        std::vector<double> couplingH, couplingN;
        std::vector<double> linePositions;
        std::vector<double> heights;
    };
    const Row rows[] = {
        {{2.0, 2.0}, {}, {-2.0, 0.0, 2.0}, {1, 2, 1}},
        {{}, {1.5, 1.5}, {-3.0, -1.5, 0.0, 1.5, 3.0}, {1, 2, 3, 2, 1}},
        {{}, {1.5}, {-1.5, 0.0, 1.5}, {1, 1, 1}},
    };
    for (const auto& row : rows) {
        const auto spectrum = synthesizeLiteral(makeInput(30.0, 0.1, 300, row.couplingH, row.couplingN));
        const auto at = [&](double field) {
            return spectrum.intensity[static_cast<std::size_t>(std::lround((field + 15.0) / 0.1))];
        };
        const double unit = at(row.linePositions[0] - 0.1);
        ASSERT_GT(unit, 0.0);
        for (std::size_t k = 0; k < row.heights.size(); ++k) {
            EXPECT_NEAR(at(row.linePositions[k] - 0.1) / unit, row.heights[k], 1e-9) << k;
            EXPECT_NEAR(at(row.linePositions[k] + 0.1) / unit, -row.heights[k], 1e-9) << k;
        }
    }
}

TEST(SynthesisTest, TransformationsThatLeaveTheSpectrumAlone)
{
    const auto compare = [](const SimulatedSpectrum& a, const SimulatedSpectrum& b, double tolerance) {
        ASSERT_EQ(a.intensity.size(), b.intensity.size());
        for (std::size_t i = 0; i < a.intensity.size(); ++i) {
            EXPECT_EQ(a.field[i], b.field[i]) << i;
            EXPECT_NEAR(a.intensity[i], b.intensity[i], tolerance) << i;
        }
    };
    const auto reference = synthesizeLiteral(makeInput(30.0, 0.3, 200, {2.0, 0.7}, {1.3}));
    // A zero constant doubles or triples every line in place.
    compare(synthesizeLiteral(makeInput(30.0, 0.3, 200, {2.0, 0.0, 0.7}, {1.3})), reference, 1e-12);
    compare(synthesizeLiteral(makeInput(30.0, 0.3, 200, {2.0, 0.7}, {0.0, 1.3})), reference, 1e-12);
    // The sign of a constant only reorders the list.
    compare(synthesizeLiteral(makeInput(30.0, 0.3, 200, {-2.0, 0.7}, {1.3})), reference, 1e-12);
    // The sign of sigma cancels in every term.
    compare(synthesizeLiteral(makeInput(30.0, -0.3, 200, {2.0, 0.7}, {1.3})), reference, 0.0);
}

TEST(SynthesisTest, NegativeRangeRunsTheGridDownwards)
{
    const auto up = synthesizeLiteral(makeInput(30.0, 0.2, 100, {2.0}, {1.0}));
    const auto down = synthesizeLiteral(makeInput(-30.0, 0.2, 100, {2.0}, {1.0}));
    EXPECT_EQ(down.frameFieldLow, 15.0);
    EXPECT_EQ(down.frameFieldHigh, -15.0);
    EXPECT_EQ(down.field.front(), 15.0);
    EXPECT_EQ(down.field.back(), -15.0);
    for (std::size_t i = 0; i <= 100; ++i) {
        if (i > 0) {
            EXPECT_LT(down.field[i], down.field[i - 1]);
        }
        EXPECT_NEAR(down.field[i], up.field[100 - i], 1e-13);
        EXPECT_NEAR(down.intensity[i], up.intensity[100 - i], 1e-12);
    }
}

TEST(SynthesisTest, MoreLinesThanPoints)
{
    // 512 lines on a grid of 21 points: the lists outgrow the spectrum.
    const auto spectrum =
        synthesizeLiteral(makeInput(20.0, 1.0, 20, {0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2, 1.3}, {}));
    ASSERT_EQ(spectrum.intensity.size(), 21u);
    const auto [low, high] = std::minmax_element(spectrum.intensity.begin(), spectrum.intensity.end());
    EXPECT_NEAR(*high - *low, 2.0, 1e-15);
    EXPECT_NEAR(spectrum.intensity[10], 0.0, 1e-12);
}

TEST(SynthesisTest, FailuresAndTheirMessages)
{
    const std::string pointCount(messages::kPointCountOutOfRange);
    struct Row {
        const char* what;
        SynthesisInput input;
        std::string message;
    };
    const Row rows[] = {
        {"no intervals", makeInput(30.0, 0.1, 0, {2.0}), std::string(messages::kDivisionByZero)},
        {"no intervals, no range", makeInput(0.0, 0.1, 0, {2.0}), std::string(messages::kInvalidOperation)},
        {"sigma 0", makeInput(30.0, 0.0, 500, {2.0}), std::string(messages::kDivisionByZero)},
        {"sigma 0, first point on a line", makeInput(2.0, 0.0, 1, {2.0}), std::string(messages::kInvalidOperation)},
        {"lines far outside: flat sum", makeInput(30.0, 0.1, 500, {1e6}), std::string(messages::kInvalidOperation)},
        {"too steep", makeInput(2e-200, 1e-200, 2), std::string(messages::kOverflow)},
        {"line beyond a double, before the grid", makeInput(30.0, 0.1, 0, {DBL_MAX, DBL_MAX, DBL_MAX}),
         std::string(messages::kOverflow)},
        {"negative count", makeInput(30.0, 0.1, -1, {2.0}), pointCount},
        {"very negative count", makeInput(30.0, 0.1, INT32_MIN, {2.0}), pointCount},
        {"count too large", makeInput(30.0, 0.1, kMaxCalcPoints + 1, {2.0}), pointCount},
        {"not a number", makeInput(30.0, std::numeric_limits<double>::quiet_NaN(), 500, {2.0}),
         std::string(messages::kInvalidOperation)},
        {"infinite coupling", makeInput(30.0, 0.1, 500, {}, {std::numeric_limits<double>::infinity()}),
         std::string(messages::kInvalidOperation)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(messageOf([&] { synthesizeLiteral(row.input); }), row.message) << row.what;
        EXPECT_EQ(messageOf([&] { synthesize(row.input); }), row.message) << row.what;
    }
    EXPECT_EQ(messages::kPointCountOutOfRange, "The number of points (NoPnts) must be between 0 and 1000000.");
    // A failure leaves nothing behind for the next calculation.
    EXPECT_EQ(synthesizeLiteral(makeInput(30.0, 0.1, 10, {2.0})).intensity.size(), 11u);
}

TEST(SynthesisTest, LargestPointCountIsAccepted)
{
    const auto spectrum = synthesizeLiteral(makeInput(30.0, 0.1, kMaxCalcPoints));
    EXPECT_EQ(spectrum.intensity.size(), static_cast<std::size_t>(kMaxCalcPoints) + 1);
    EXPECT_EQ(spectrum.field.back(), 15.0);
}

ProgramState stateWithOneHydrogen()
{
    ProgramState state;
    Initialise(state, "/tmp");
    state.DisplayRange = 30.0;
    state.HCount = 1;
    state.CouplingH[1] = 2.0;
    state.CouplingH[2] = 5.0; // not taking part
    return state;
}

TEST(SynthesisTest, SynthesizePublishesIntoTheState)
{
    ProgramState state = stateWithOneHydrogen();
    const SynthesisInput input = synthesisInput(state);
    EXPECT_EQ(input.displayRange, 30.0);
    EXPECT_EQ(input.sigma, 0.1);
    EXPECT_EQ(input.points, 500);
    EXPECT_EQ(input.couplingH, std::vector<double>{2.0});
    EXPECT_TRUE(input.couplingN.empty());

    Synthesize(state);
    const auto expected = synthesizeLiteral(input);
    EXPECT_EQ(state.CalcSpectrumPoints, 500);
    ASSERT_EQ(state.CalcField.size(), 510u);
    ASSERT_EQ(state.CalcIntensity.size(), 510u);
    for (std::size_t i = 0; i <= 500; ++i) {
        EXPECT_EQ(state.CalcField[i], expected.field[i]);
        EXPECT_NEAR(state.CalcIntensity[i], expected.intensity[i], 1e-12);
    }
    EXPECT_EQ(state.FrameFieldLow, -15.0);
    EXPECT_EQ(state.FrameFieldHigh, 15.0);
    EXPECT_NEAR(state.FrameIntLow, expected.rawLow, 1e-9);
    EXPECT_NEAR(state.FrameIntHigh, expected.rawHigh, 1e-9);
}

TEST(SynthesisTest, AFailedSynthesisLeavesTheStateAsItWas)
{
    ProgramState state = stateWithOneHydrogen();
    Synthesize(state);
    const ProgramState before = state;

    const std::function<void(ProgramState&)> breakages[] = {
        [](ProgramState& s) { s.SigmaValue = 0.0; },
        [](ProgramState& s) { s.CalcPoints = 0; },
        [](ProgramState& s) { s.CalcPoints = -5; },
        [](ProgramState& s) { s.CouplingH[1] = 1e6; }, // flat sum, found only at the end
    };
    for (const auto& breakage : breakages) {
        state = before;
        breakage(state);
        EXPECT_NE(messageOf([&] { Synthesize(state); }), "");
        EXPECT_EQ(state.CalcField, before.CalcField);
        EXPECT_EQ(state.CalcIntensity, before.CalcIntensity);
        EXPECT_EQ(state.CalcSpectrumPoints, before.CalcSpectrumPoints);
        EXPECT_EQ(state.FrameFieldLow, before.FrameFieldLow);
        EXPECT_EQ(state.FrameIntLow, before.FrameIntLow);
        EXPECT_EQ(state.FrameIntHigh, before.FrameIntHigh);
    }
}

} // namespace
} // namespace ravelle
