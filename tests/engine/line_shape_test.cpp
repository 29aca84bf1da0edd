// What the methods of the synthesis rely on the line shape for: its terms,
// its tails, its window sums and its Fourier transform must agree with one
// another, for any sigma.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/DisplayGrid.h"
#include "engine/LineShape.h"
#include "engine/Messages.h"
#include "tests/support/EngineTesting.h"

namespace ravelle {
namespace {

using testing::messageOf;

const double kSigmas[] = {0.1, -0.1, 3e-7, 20.0};

// The term the literal method stores at `distance` above a line at 0.
double storedTerm(const LineShape& shape, double distance)
{
    return static_cast<double>(shape.term(distance, 0.0));
}

TEST(LineShapeTest, TailsReachAsFarAsTheyClaim)
{
    for (const double sigma : kSigmas) {
        SCOPED_TRACE(sigma);
        const LineShape shape(sigma);
        const double width = shape.width();
        EXPECT_NEAR(std::fabs(storedTerm(shape, width)), shape.largestTerm(), 1e-12 * shape.largestTerm());
        // No term at or beyond a distance exceeds the tail bound there.
        for (double u = 0.0; u < 40.0; u += 0.37) {
            const double bound = shape.tailBound(u * width);
            for (const double beyond : {0.0, 0.1, 1.0, 3.0})
                ASSERT_LE(std::fabs(storedTerm(shape, (u + beyond) * width)), bound * (1 + 1e-12)) << u;
        }
        // Beyond the exact reach the stored term is 0; a little inside it is not.
        const double exact = shape.exactReach();
        EXPECT_EQ(storedTerm(shape, exact), 0.0);
        EXPECT_EQ(storedTerm(shape, 2 * exact), 0.0);
        EXPECT_NE(storedTerm(shape, exact - 0.2 * width), 0.0);
        // A reach is a whole number of widths, beyond which terms are below
        // the fraction asked for.
        for (const double fraction : {1e-3, 1e-20, 1e-45}) {
            const double reach = shape.reach(fraction);
            EXPECT_NEAR(reach / width, std::round(reach / width), 1e-12) << fraction;
            EXPECT_LE(shape.tailBound(reach), fraction * shape.largestTerm()) << fraction;
            EXPECT_GT(shape.tailBound(reach - width), fraction * shape.largestTerm()) << fraction;
        }
    }
}

TEST(LineShapeTest, FastTermsStayWithinTheirBounds)
{
    for (const double sigma : kSigmas) {
        SCOPED_TRACE(sigma);
        const LineShape shape(sigma);
        const double width = shape.width();
        // Offsets from a line at 0 up to the window limit, both sides, and
        // the same offsets as points around a line, for the vectorised forms.
        std::vector<double> offsets;
        for (double u = -37.0; u <= 37.0; u += 0.731)
            offsets.push_back(u * width);
        ASSERT_LE(offsets.back(), shape.windowLimit());
        WindowScratch scratch;
        scratch.reserve(offsets.size());
        shape.lineTerms(0.0, offsets.data(), offsets.size(), scratch);
        for (std::size_t j = 0; j < offsets.size(); ++j) {
            const double exact = storedTerm(shape, offsets[j]);
            const double allowed = scratch.termError[j] * 0x1p-53 + 0x1p-1074;
            ASSERT_LE(std::fabs(scratch.term[j] - exact), allowed) << offsets[j] / width;
            double error = 0.0;
            const double far = shape.farTerm(offsets[j], 0.0, error);
            ASSERT_LE(std::fabs(far - exact), error + 0x1p-1074) << offsets[j] / width;
        }
        // Far terms also beyond the window limit, down into the denormals.
        for (double u = 37.0; u < shape.exactReach() / width; u += 0.1) {
            double error = 0.0;
            const double far = shape.farTerm(u * width, 0.0, error);
            ASSERT_LE(std::fabs(far - storedTerm(shape, u * width)), error + 0x1p-1074) << u;
        }
        // A window sum over weighted lines around a point.
        const std::vector<double> positions{-3 * width, -0.5 * width, 0.0, 2 * width, 11 * width};
        const std::vector<double> weights{1.0, 3.0, 2.0, 6.0, 1.0};
        std::vector<double> scaled;
        for (const double w : weights)
            scaled.push_back(w * shape.windowScale());
        const double x = 0.3 * width;
        const WindowSum sum = shape.windowSum(x, positions.data(), scaled.data(), positions.size(), scratch);
        const WindowSum stored = shape.storedTermSum(x, positions.data(), weights.data(), positions.size());
        EXPECT_LE(std::fabs(static_cast<double>(sum.value - stored.value)), sum.error + stored.error);
        EXPECT_NEAR(sum.magnitude, stored.magnitude, 1e-12 * stored.magnitude);
    }
}

// The sine transform of the terms of a line at 0, by the trapezoid rule over
// the whole reach of the line: a Fourier integral of a smooth function that
// has died out at the ends, which the rule gets to rounding.
double sineTransform(const LineShape& shape, double frequency)
{
    const double reach = shape.reach(1e-30);
    const double step = shape.width() / 64;
    double total = 0.0;
    for (double x = -reach; x <= reach; x += step)
        total += storedTerm(shape, x) * std::sin(2 * M_PI * frequency * x);
    return total * step;
}

TEST(LineShapeTest, TheFourierTransformIsThatOfTheTerms)
{
    for (const double sigma : {0.1, -2.5}) {
        SCOPED_TRACE(sigma);
        const LineShape shape(sigma);
        // One period of 1 G per unit of k: the frequencies k / period.
        const long double period = 1.0L;
        const double scale = static_cast<double>(shape.fourierScale());
        for (const double fraction : {0.05, 0.3, 0.7, 1.0}) {
            const double frequency = fraction * shape.frequencyLimit();
            double exponent = 0.0;
            shape.envelopeExponents(&frequency, &exponent, 1, period);
            ASSERT_GE(exponent, -708.0);
            // A line at 0 transforms into fourierScale 2 pi i f E(f): its
            // sine transform is minus the imaginary part's magnitude.
            const double expected = -scale * 2 * M_PI * frequency * std::exp(exponent);
            EXPECT_NEAR(sineTransform(shape, frequency), expected, 1e-12 * shape.largestTerm() * shape.width())
                << fraction;
        }
        // What the frequencies beyond the limit would add is negligible.
        const double limit = shape.frequencyLimit();
        double exponent = 0.0;
        shape.envelopeExponents(&limit, &exponent, 1, period);
        EXPECT_LT(std::exp(exponent), 1e-20);
        EXPECT_LT(shape.truncationBound(1.0), 1e-20 * shape.largestTerm());
    }
}

TEST(LineShapeTest, TheMajorantBoundsTermsAndSlopes)
{
    for (const double sigma : kSigmas) {
        SCOPED_TRACE(sigma);
        const LineShape shape(sigma);
        const double width = shape.width();
        for (double u = 0.0; u < 30.0; u += 0.173) {
            const double d = u * width;
            const double majorant = shape.majorantBeyond(d);
            const double h = 1e-6 * width;
            const double slope = (storedTerm(shape, d + h) - storedTerm(shape, d - h)) / (2 * h);
            ASSERT_LE(std::fabs(storedTerm(shape, d)), shape.termBoundFromMajorant(majorant)) << u;
            ASSERT_LE(std::fabs(slope), shape.slopeBoundFromMajorant(majorant) * (1 + 1e-6)) << u;
            ASSERT_LE(std::fabs(slope), shape.slopeBound(1.0) * (1 + 1e-6)) << u;
        }
        EXPECT_EQ(shape.majorantBeyond(0.0), 1.0);
        // Its transform has the shape's envelope squared.
        const double frequency = 0.4 * shape.frequencyLimit();
        double exponent = 0.0;
        shape.envelopeExponents(&frequency, &exponent, 1, 1.0L);
        const double envelope = std::exp(exponent);
        double squared = 0.0;
        shape.majorantEnvelope(&envelope, &squared, 1);
        double transform = 0.0;
        const double step = width / 64;
        for (double x = -40 * width; x <= 40 * width; x += step)
            transform += shape.majorantBeyond(std::fabs(x)) * std::cos(2 * M_PI * frequency * x) * step;
        EXPECT_NEAR(transform, static_cast<double>(shape.majorantFourierScale()) * squared, 1e-12 * width);
    }
}

TEST(DisplayGridTest, PointsFromOneEndToTheOther)
{
    struct Row {
        double range;
        std::int32_t points;
        double first, last, low, high;
    };
    const Row rows[] = {
        {30.0, 500, -15.0, 15.0, -15.0, 15.0},
        {-30.0, 500, 15.0, -15.0, 15.0, -15.0}, // descending
        {1.0, 1, -0.5, 0.5, -0.5, 0.5},
        {0.0, 7, 0.0, 0.0, -0.0, 0.0},
        {1e-300, 3, -5e-301, 5e-301, -5e-301, 5e-301},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.range) + " / " + std::to_string(row.points));
        const DisplayGrid grid = displayGrid(row.range, row.points);
        ASSERT_EQ(grid.field.size(), static_cast<std::size_t>(row.points) + 1);
        EXPECT_GE(grid.field.capacity(), grid.field.size() + 9);
        EXPECT_EQ(grid.field.front(), row.first);
        EXPECT_EQ(grid.field.back(), row.last);
        EXPECT_EQ(grid.low, row.low);
        EXPECT_EQ(grid.high, row.high);
    }
    // 30 G over 500 intervals: 0.06 G apart, point i at 0.06 i - 15 formed
    // in extended precision.
    const DisplayGrid grid = displayGrid(30.0, 500);
    EXPECT_EQ(grid.field[1], static_cast<double>(30.0L / 500 - 15));
    EXPECT_EQ(grid.field[250], static_cast<double>(30.0L / 500 * 250 - 15));
    // No intervals divide by zero.
    EXPECT_EQ(messageOf([] { displayGrid(30.0, 0); }), messages::kDivisionByZero);
    EXPECT_EQ(messageOf([] { displayGrid(0.0, 0); }), messages::kInvalidOperation);
}

} // namespace
} // namespace ravelle
