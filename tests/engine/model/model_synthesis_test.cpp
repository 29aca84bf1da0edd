#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "engine/Messages.h"
#include "engine/Synthesis.h"
#include "engine/model/Evaluation.h"
#include "engine/model/ModelSynthesis.h"
#include "tests/engine/model/ModelReference.h"
#include "tests/support/EngineTesting.h"

namespace ravelle::model {
namespace {

using namespace testing;
using ravelle::testing::makeInput;
using ravelle::testing::messageOf;

Model gaussianBoxes(std::vector<double> h, std::vector<double> n, double sigma)
{
    Species settings;
    settings.sigma = sigma;
    return Model{{speciesFromBoxes(h, n, settings)}};
}

TEST(ModelSynthesisTest, TheGaussianModelIsTheProgramsSynthesis)
{
    // The program's line differs by a constant factor (its 2 pi is 6.2831852),
    // which the normalisation takes out.
    struct Row {
        std::vector<double> h, n;
        double sigma, range;
        std::int32_t points;
    };
    const Row rows[] = {
        {{2.0}, {}, 0.1, 30.0, 500},
        {{2.0, 2.0}, {1.5}, 0.3, 30.0, 500},
        {{}, {1.5}, 0.2, 12.0, 50},
        {{5.1, 1.7, 0.4}, {3.3, 0.9}, -0.25, -40.0, 777},
        {{4.95, 4.95, 4.95, 4.95, 1.83, 1.83, 1.83, 1.83}, {}, 0.1, 30.0, 1000},
        {{0.0, 3.0}, {0.0}, 0.5, 25.0, 99},
    };
    for (const Row& row : rows) {
        const SimulatedSpectrum expected = synthesize(makeInput(row.range, row.sigma, row.points, row.h, row.n));
        const SimulatedSpectrum got = synthesizeModel(gaussianBoxes(row.h, row.n, row.sigma), row.range, row.points);
        ASSERT_EQ(got.points, expected.points);
        EXPECT_EQ(got.field, expected.field);
        EXPECT_EQ(got.frameFieldLow, expected.frameFieldLow);
        EXPECT_EQ(got.frameFieldHigh, expected.frameFieldHigh);
        ASSERT_EQ(got.intensity.size(), expected.intensity.size());
        for (std::size_t i = 0; i < got.intensity.size(); ++i)
            EXPECT_NEAR(got.intensity[i], expected.intensity[i], 2e-9) << row.range << " " << i;
        EXPECT_GE(got.field.capacity(), got.field.size() + 9);
        EXPECT_GE(got.intensity.capacity(), got.intensity.size() + 9);
    }
}

TEST(ModelSynthesisTest, NormalisedToAPeakToPeakOfTwoOnTheDisplayGrid)
{
    Species voigt = species({group("14N", 1, 15.6), group("1H", 6, 0.22)}, LineShape::Voigt, 0.35, 0.25, 1.0, 0.7);
    voigt.widthGroup = 0;
    voigt.gammaLaw = {0.03, 0.12};
    const Model model{{voigt, species({group("63Cu", 1, 8.0, true)}, LineShape::Lorentzian, 0, 1.2, 0.3, -4.0)}};
    const SimulatedSpectrum up = synthesizeModel(model, 50.0, 600);
    const SimulatedSpectrum down = synthesizeModel(model, -50.0, 600);
    const auto [low, high] = std::minmax_element(up.intensity.begin(), up.intensity.end());
    EXPECT_NEAR(*high - *low, 2.0, 1e-15);
    const std::vector<double> raw = evaluateModel(model, UniformGrid{-25, 50.0 / 600, 601}).value;
    EXPECT_EQ(up.rawHigh, *std::max_element(raw.begin(), raw.end()));
    EXPECT_EQ(up.rawLow, *std::min_element(raw.begin(), raw.end()));
    EXPECT_NEAR(2 * up.rawHigh / (up.rawHigh - up.rawLow), *high, 1e-15);
    // The field is scaled, not shifted: the raw sum's zero stays a zero.
    EXPECT_GT(*high, 0.0);
    EXPECT_LT(*low, 0.0);
    // A negative range runs the same grid downwards.
    EXPECT_EQ(down.field.front(), 25.0);
    EXPECT_EQ(down.field.back(), -25.0);
    EXPECT_EQ(down.frameFieldLow, 25.0);
    for (std::size_t i = 0; i <= 600; ++i) {
        EXPECT_EQ(down.field[i], -up.field[i]);
        EXPECT_NEAR(down.intensity[i], up.intensity[600 - i], 1e-12) << i;
    }
    // Against every line summed.
    const auto reference = referenceSum(model, up.field);
    const auto [refLow, refHigh] = std::minmax_element(reference.begin(), reference.end());
    for (std::size_t i = 0; i <= 600; ++i)
        EXPECT_NEAR(up.intensity[i], static_cast<double>(2 * reference[i] / (*refHigh - *refLow)), 2e-9) << i;
}

TEST(ModelSynthesisTest, RefusalsAreThoseOfTheProgramsSynthesis)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Model good = gaussianBoxes({2.0}, {}, 0.1);
    Model farAway = good;
    farAway.species[0].shift = 5000.0; // every value underflows to 0: a flat sum
    Model justOutside = good;
    justOutside.species[0].shift = 20.0; // 40 sigma beyond the grid: flat up to rounding
    Model bad = good;
    bad.species[0].groups[0].count = 0;
    struct Row {
        std::string name;
        const Model* model;
        double range;
        std::int32_t points;
        std::string message;
    };
    const Row rows[] = {
        {"negative points", &good, 30.0, -1, std::string(ravelle::messages::kPointCountOutOfRange)},
        {"too many points", &good, 30.0, kMaxCalcPoints + 1, std::string(ravelle::messages::kPointCountOutOfRange)},
        {"no points", &good, 30.0, 0, std::string(ravelle::messages::kDivisionByZero)},
        {"no points, no range", &good, 0.0, 0, std::string(ravelle::messages::kInvalidOperation)},
        {"no range", &good, 0.0, 10, std::string(ravelle::messages::kInvalidOperation)},
        {"range NaN", &good, nan, 10, std::string(ravelle::messages::kInvalidOperation)},
        {"flat", &farAway, 30.0, 500, std::string(ravelle::messages::kInvalidOperation)},
        {"flat to rounding", &justOutside, 10.0, 500, std::string(ravelle::messages::kInvalidOperation)},
        {"bad model", &bad, 30.0, 500, messages::groupProblem(1, 1, messages::badNucleusCount())},
        {"bad model, no points", &bad, 30.0, 0, messages::groupProblem(1, 1, messages::badNucleusCount())},
    };
    for (const Row& row : rows)
        EXPECT_EQ(messageOf([&] { synthesizeModel(*row.model, row.range, row.points); }), row.message) << row.name;
    EXPECT_EQ(synthesizeModel(good, 30.0, kMaxCalcPoints).intensity.size(), std::size_t{kMaxCalcPoints} + 1);
}

} // namespace
} // namespace ravelle::model
