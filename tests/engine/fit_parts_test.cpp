// The fit's parts on their own: the order and averages of the points, the
// search for a start, the factor of a Jacobian taken a block at a time, and
// the fit on its thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "engine/fit/Covariance.h"
#include "engine/fit/Fit.h"
#include "engine/fit/GlobalStart.h"
#include "engine/fit/Layout.h"
#include "engine/fit/Curve.h"
#include "engine/fit/Pass.h"
#include "engine/fit/Points.h"
#include "engine/fit/Refine.h"
#include "tests/support/SyntheticSpectra.h"

namespace ravelle::fit {
namespace {

std::vector<double> asVector(std::span<const double> values) { return {values.begin(), values.end()}; }

FitProblem pointsOnly(std::vector<double> field)
{
    FitProblem problem;
    problem.field = std::move(field);
    for (std::size_t i = 0; i < problem.field.size(); ++i)
        problem.intensity.push_back(static_cast<double>(i)); // says where a point came from
    return problem;
}

// In field order, equal fields in their order in the file, whatever order
// the file has; a file in order is used as it is.
TEST(FitPointsTest, SortedPointsKeepEqualFieldsInFileOrder)
{
    struct Row {
        const char* name;
        std::vector<double> field;
        std::vector<double> from; // the file line each sorted point came from
    };
    const Row rows[] = {
        {"ascending", {1, 2, 2, 3}, {0, 1, 2, 3}},
        {"descending with a tie", {3, 2, 2, 1}, {3, 1, 2, 0}},
        {"mixed", {2, 1, 3, 1, 2}, {1, 3, 0, 4, 2}},
        {"one point", {5}, {0}},
        {"none", {}, {}},
    };
    for (const Row& row : rows) {
        const FitProblem problem = pointsOnly(row.field);
        const auto sorted = sortedPoints(problem, [](double) { return true; });
        ASSERT_TRUE(sorted) << row.name;
        EXPECT_EQ(asVector(sorted->data()), row.from) << row.name;
        EXPECT_TRUE(std::is_sorted(sorted->field().begin(), sorted->field().end())) << row.name;
        EXPECT_TRUE(sorted->weight().empty()) << row.name;
    }
    const FitProblem inOrder = pointsOnly({1, 2, 3});
    EXPECT_EQ(sortedPoints(inOrder, [](double) { return true; })->field().data(), inOrder.field.data());
}

// Long enough for merges of blocks: the same order as a plain stable sort,
// and a cancel heard before the end.
TEST(FitPointsTest, ALongShuffledSweepSortsStablyAndHearsACancel)
{
    std::mt19937_64 random(3);
    std::uniform_int_distribution<int> field(0, 5000);
    std::vector<double> fields(300'000);
    for (double& value : fields)
        value = field(random) * 0.01;
    const FitProblem problem = pointsOnly(fields);
    std::vector<double> expected;
    for (const std::size_t i : ascendingOrder(problem.field))
        expected.push_back(static_cast<double>(i));
    double lastShare = 0.0;
    const auto sorted = sortedPoints(problem, [&](double done) {
        EXPECT_GE(done, lastShare);
        lastShare = done;
        return true;
    });
    ASSERT_TRUE(sorted);
    EXPECT_EQ(asVector(sorted->data()), expected);
    EXPECT_GT(lastShare, 0.5);

    int ticks = 0;
    EXPECT_FALSE(sortedPoints(problem, [&](double) { return ++ticks < 3; }));
    EXPECT_EQ(ticks, 3);
}

TEST(FitPointsTest, AveragesOfNeighboursWeighTheSquareRootOfTheirCount)
{
    struct Row {
        std::size_t size;
        std::vector<double> field, data, weight;
    };
    const Samples points({1, 2, 3, 4, 5, 6, 7}, {10, 20, 30, 40, 50, 60, 70});
    const Row rows[] = {
        {1, {1, 2, 3, 4, 5, 6, 7}, {10, 20, 30, 40, 50, 60, 70}, {1, 1, 1, 1, 1, 1, 1}},
        {2, {1.5, 3.5, 5.5, 7}, {15, 35, 55, 70}, {std::sqrt(2.0), std::sqrt(2.0), std::sqrt(2.0), 1}},
        {3, {2, 5, 7}, {20, 50, 70}, {std::sqrt(3.0), std::sqrt(3.0), 1}},
        {7, {4}, {40}, {std::sqrt(7.0)}},
        {10, {4}, {40}, {std::sqrt(7.0)}},
    };
    for (const Row& row : rows) {
        const auto means = averaged(points, row.size, [](double) { return true; });
        ASSERT_TRUE(means) << row.size;
        EXPECT_EQ(asVector(means->field()), row.field) << row.size;
        EXPECT_EQ(asVector(means->data()), row.data) << row.size;
        EXPECT_EQ(asVector(means->weight()), row.weight) << row.size;
    }
}

// Smoothing counts a weighted point as often as its weight squared: an
// average of n points as those n points. With a kernel far wider than the
// points every smoothed value is their weighted mean.
TEST(FitPointsTest, SmoothingCountsAnAverageAsItsPoints)
{
    struct Row {
        std::vector<double> weight;
        std::size_t stride;
        std::vector<double> field, data;
    };
    const Row rows[] = {
        {{}, 1, {0, 1, 2}, {3, 3, 3}},
        {{1, 1, 3}, 1, {0, 1, 2}, {57.0 / 11, 57.0 / 11, 57.0 / 11}},
        {{1, 1, 3}, 2, {0, 2}, {57.0 / 11, 57.0 / 11}},
    };
    for (const Row& row : rows) {
        const Samples points({0, 1, 2}, {0, 3, 6}, row.weight);
        const Samples smoothed = smooth(points, 1e6, row.stride);
        EXPECT_EQ(asVector(smoothed.field()), row.field);
        ASSERT_EQ(smoothed.size(), row.data.size());
        for (std::size_t i = 0; i < row.data.size(); ++i)
            EXPECT_NEAR(smoothed.data()[i], row.data[i], 1e-9) << row.weight.size() << " " << i;
        EXPECT_TRUE(smoothed.weight().empty());
    }
}

TEST(FitPointsTest, MedianSpacingFromASampleOfTheGaps)
{
    struct Row {
        std::vector<double> field;
        std::size_t most;
        double spacing;
    };
    const Row rows[] = {
        {{0, 1, 2, 4, 8}, 100, 2},      // gaps 1 1 2 4
        {{0, 1, 1, 1, 3}, 100, 2},      // equal fields leave no gap
        {{0, 1, 2, 4, 8, 16}, 2, 4},    // every third gap: 1 and 4
        {{5}, 100, 0},
        {{}, 100, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(medianSpacing(row.field, row.most), row.spacing) << row.most;
}

// ---------------------------------------------------------------------------

// The factor taken a block at a time is the factor of the whole Jacobian: it
// gives the same normal equations, the same residual sum and, through the
// covariance, the same uncertainties; weights count as in the pass.
void expectBlockwiseFactorOfTheWholeJacobian(const FitProblem& problem, const std::string& label)
{
    SCOPED_TRACE(label);
    const Layout layout = layoutOf(problem);
    const auto curve = makeCurve(problem, layout);
    ASSERT_GT(problem.field.size(), curve->blockPoints()); // more than one block
    ModelValues values;
    for (const CouplingSet& set : layout.sets)
        values.set.push_back(set.start);
    for (const ShapeQuantity& quantity : layout.quantities)
        values.quantity.push_back(quantity.start);
    values.centre = 3350.1;
    values.amplitude = 0.004;
    values.offset = 0.01;
    values.slope = -0.001;

    std::vector<double> weight(problem.field.size());
    for (std::size_t i = 0; i < weight.size(); ++i)
        weight[i] = 1 + static_cast<double>(i % 3);
    struct Row {
        const char* name;
        bool weighted;
        bool varyAmplitude;
    };
    Eigen::VectorXd plainResidual;
    Eigen::MatrixXd plainJacobian;
    for (const Row row : {Row{"plain", false, true}, Row{"weighted", true, true}, Row{"Scl fixed", false, false}}) {
        Pass pass;
        pass.samples = std::make_shared<const Samples>(problem.field, problem.intensity,
                                                       row.weighted ? weight : std::vector<double>{});
        pass.varySet.assign(layout.sets.size(), true);
        pass.varyQuantity.assign(layout.quantities.size(), true);
        pass.varyCentre = true;
        pass.varyAmplitude = row.varyAmplitude;
        pass.varyOffset = true;
        pass.varySlope = true;
        pass.scale = 1.1;
        const int p = parameterCount(pass);

        std::atomic<bool> cancel{false};
        PassFunctor functor(*curve, pass, values, cancel, p);
        Eigen::VectorXd residual(static_cast<Eigen::Index>(pass.size()));
        Eigen::MatrixXd jacobian(static_cast<Eigen::Index>(pass.size()), p);
        ASSERT_TRUE(functor.evaluate(PassFunctor::pack(values, pass), &residual, &jacobian));
        if (plainResidual.size() == 0) {
            plainResidual = residual;
            plainJacobian = jacobian;
        } else if (row.weighted) {
            const Eigen::Map<const Eigen::VectorXd> w(weight.data(), static_cast<Eigen::Index>(weight.size()));
            EXPECT_LT((residual - w.cwiseProduct(plainResidual)).norm(), 1e-12 * residual.norm());
            EXPECT_LT((jacobian - w.asDiagonal() * plainJacobian).norm(), 1e-12 * jacobian.norm());
        }

        PassRows rows(*curve, pass, cancel);
        Factor factor;
        int ticks = 0;
        ASSERT_TRUE(streamed(rows, pass.size(), values, true, p, factor, [&](double) { return ++ticks > 0; }));
        EXPECT_GE(ticks, 2) << row.name;

        const Eigen::MatrixXd normal = jacobian.transpose() * jacobian;
        EXPECT_LT((factor.r.transpose() * factor.r - normal).norm(), 1e-10 * normal.norm()) << row.name;
        const Eigen::VectorXd gradient = jacobian.transpose() * residual;
        EXPECT_LT((factor.r.transpose() * factor.qtr - gradient).norm(), 1e-10 * normal.norm()) << row.name;
        EXPECT_NEAR(factor.rss, residual.squaredNorm(), 1e-10 * residual.squaredNorm()) << row.name;
        const Covariance whole = covarianceOf(jacobian, 2.0);
        const Covariance fromFactor = covarianceOf(factor.r, 2.0);
        EXPECT_LT((fromFactor.matrix - whole.matrix).norm(), 1e-8 * whole.matrix.norm()) << row.name;
        EXPECT_EQ(fromFactor.determined, whole.determined) << row.name;

        Factor valuesOnly;
        ASSERT_TRUE(streamed(rows, pass.size(), values, false, p, valuesOnly, {}));
        // The engine may lay out its transform differently for the values alone.
        EXPECT_NEAR(valuesOnly.rss, factor.rss, 1e-12 * factor.rss) << row.name;
    }
}

TEST(FitRefineTest, BlockwiseFactorIsTheFactorOfTheWholeJacobian)
{
    const testing::Truth truth = testing::radical({2.6, 2.6, 0.9}, {7.3}, 0.12);
    std::mt19937_64 random(5);
    const testing::Measurement measurement = testing::measure(truth, 0.0004, 3334, 3369, 0.02, 0.1, random);
    const FitProblem gaussian =
        testing::problemFor(measurement, {2.5, 2.5, 0.95}, {7.2}, 0.13, 3350.1, 30, 500, 1.1);
    expectBlockwiseFactorOfTheWholeJacobian(gaussian, "the document's Gaussian lines, summed one by one");

    FitProblem voigt = gaussian;
    model::Species settings;
    settings.shape = model::LineShape::Voigt;
    settings.sigma = 0.1;
    settings.gamma = 0.05;
    voigt.model.species = {model::speciesFromBoxes({2.5, 2.5, 0.95}, {7.2}, settings)};
    for (std::size_t k = 0; k < 4; ++k)
        voigt.parameters[k].group = static_cast<int>(k);
    voigt.parameters.push_back({FitParameterKind::Gamma, "Gamma", 0.05, true});
    expectBlockwiseFactorOfTheWholeJacobian(voigt, "Voigt lines, through the general engine");
}

// ---------------------------------------------------------------------------
// The search for a start.

// One derivative line of sigma 0.2 G times the width factor, as the model
// laid on an even grid of offsets.
std::vector<double> derivativeLine(double factor, double first, double step, std::size_t count)
{
    const double sigma = 0.2 * factor;
    std::vector<double> values(count);
    for (std::size_t j = 0; j < count; ++j) {
        const double x = first + static_cast<double>(j) * step;
        values[j] = -x * std::exp(-x * x / (2 * sigma * sigma));
    }
    return values;
}

// A line anywhere within the reach, of either sign, three times too wide or
// narrow, on a baseline with or without a slope: the search finds its centre
// to a fraction of the grid, its width factor, and solves the scale and the
// baseline exactly; a fixed scale stays as given.
TEST(FitSearchTest, FindsCentreWidthScaleAndBaseline)
{
    std::vector<double> factors;
    for (int k = -3; k <= 3; ++k)
        factors.push_back(std::pow(3.0, k / 3.0));
    struct Row {
        const char* name;
        double centre, factor, amplitude, offset, slope;
        bool fitSlope;
        bool fixedAmplitude;
    };
    const Row rows[] = {
        {"on the start", 3350.0, 1.0, 1.0, 0.0, 0.0, false, false},
        {"3 G high", 3353.0, 1.0, 1.0, 0.1, 0.0, false, false},
        {"2.5 G low, upside down", 3347.5, 1.0, -0.7, -0.2, 0.0, false, false},
        {"three times as wide", 3351.2, 3.0, 2.0, 0.0, 0.0, false, false},
        {"a third as wide", 3349.1, factors.front(), 0.5, 0.05, 0.0, false, false},
        {"on a slope", 3352.0, factors[4], 1.0, 0.1, 0.01, true, false},
        {"with a fixed scale", 3348.3, 1.0, 1.3, 0.1, 0.0, false, true},
    };
    for (const Row& row : rows) {
        std::vector<double> field, data;
        for (double x = 3340.0; x <= 3360.0; x += 0.01) {
            field.push_back(x);
            data.push_back(row.amplitude * derivativeLine(row.factor, x - row.centre, 0, 1)[0] + row.offset +
                           row.slope * (x - row.centre));
        }
        const Samples samples(field, data);
        SearchSpace space;
        space.centre = 3350.0;
        space.reach = 4.0;
        space.widthFactors = factors;
        space.slope = row.fitSlope;
        space.narrowestLine = 0.4;
        if (row.fixedAmplitude)
            space.fixedAmplitude = [&](double) { return std::optional<double>(row.amplitude); };
        int ticks = 0;
        const auto found = searchStart(samples, space, derivativeLine, [&](double) { return ++ticks > 0; });
        ASSERT_TRUE(found) << row.name;
        EXPECT_EQ(ticks, static_cast<int>(factors.size())) << row.name;
        EXPECT_NEAR(found->centre, row.centre, 0.005) << row.name;
        EXPECT_NEAR(found->widthFactor, row.factor, 1e-12) << row.name;
        EXPECT_NEAR(found->amplitude, row.amplitude, 0.02 * std::abs(row.amplitude)) << row.name;
        // The baseline at the found centre.
        EXPECT_NEAR(found->offset, row.offset + row.slope * (found->centre - row.centre), 0.005) << row.name;
        EXPECT_NEAR(found->slope, row.slope, 1e-4) << row.name;
    }

    // A request to stop ends the search with nothing.
    const Samples samples(std::vector<double>{3349, 3350, 3351, 3352, 3353}, std::vector<double>{0, 1, 0, -1, 0});
    SearchSpace space;
    space.centre = 3351.0;
    space.widthFactors = factors;
    space.narrowestLine = 0.4;
    EXPECT_FALSE(searchStart(samples, space, derivativeLine, [](double) { return false; }));
}

// ---------------------------------------------------------------------------
// The fit on its own thread.

FitProblem tinyProblem()
{
    FitProblem problem = pointsOnly({1, 2, 3});
    problem.parameters.push_back({FitParameterKind::Scale, "Scl", 1.0, true});
    return problem;
}

bool waitFor(const std::function<bool()>& state)
{
    // A generous bound for a state that comes within milliseconds.
    for (int i = 0; i < 60000; ++i) {
        if (state())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST(FitJobTest, HandsInTheLatestProgressAndTheResultOnce)
{
    std::atomic<bool> reported{false};
    std::atomic<bool> go{false};
    FitJob job(std::make_shared<const FitProblem>(tinyProblem()),
               [&](const FitProblem& problem, const std::atomic<bool>&, const FitProgressCallback& progress) {
                   progress({FitPhase::Points, 1, 1, 0.0, 0.5, 0.0});
                   progress({FitPhase::Points, 2, 1, 0.0, 0.25, 0.0});
                   reported = true;
                   while (!go)
                       std::this_thread::yield();
                   FitResult result;
                   result.outcome = FitOutcome::Converged;
                   result.pointCount = static_cast<int>(problem.field.size());
                   return result;
               });
    ASSERT_TRUE(waitFor([&] { return reported.load(); }));
    const auto progress = job.takeProgress();
    ASSERT_TRUE(progress);
    EXPECT_EQ(progress->iteration, 2);
    EXPECT_FALSE(job.takeProgress());
    EXPECT_FALSE(job.takeResult());
    go = true;
    std::optional<FitResult> result;
    ASSERT_TRUE(waitFor([&] { return (result = job.takeResult()).has_value(); }));
    EXPECT_EQ(result->pointCount, 3);
    EXPECT_FALSE(job.takeResult());
    ASSERT_TRUE(waitFor([] { return FitJob::running() == 0; }));
}

// Dropping a job asks its fit to stop and returns at once; the fit ends on
// its own, with the problem it was given still alive.
TEST(FitJobTest, DroppingAJobCancelsItsFitWithoutWaiting)
{
    std::atomic<bool> started{false};
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> release{false};
    auto job = std::make_unique<FitJob>(
        std::make_shared<const FitProblem>(tinyProblem()),
        [&](const FitProblem& problem, const std::atomic<bool>& cancel, const FitProgressCallback&) {
            started = true;
            while (!cancel)
                std::this_thread::yield();
            sawCancel = true;
            while (!release) // busy in a step that does not look at the flag
                std::this_thread::yield();
            FitResult result;
            result.pointCount = static_cast<int>(problem.field.size());
            return result;
        });
    ASSERT_TRUE(waitFor([&] { return started.load(); }));
    job.reset();
    ASSERT_TRUE(waitFor([&] { return sawCancel.load(); }));
    EXPECT_EQ(FitJob::running(), 1);
    release = true;
    ASSERT_TRUE(waitFor([] { return FitJob::running() == 0; }));
}

} // namespace
} // namespace ravelle::fit
