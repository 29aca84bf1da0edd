#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/Boxes.h"
#include "commands/FitCommand.h"
#include "engine/fit/Fit.h"
#include "engine/Messages.h"
#include "engine/ProgramState.h"
#include "engine/Synthesis.h"
#include "engine/UserError.h"
#include "io/ObservedImport.h"
#include "tests/support/FakeHost.h"
#include "tests/support/SyntheticSpectra.h"

namespace ravelle {
namespace {

using testing::drawSets;
using testing::Measurement;
using testing::measure;
using testing::problemFor;
using testing::spreadOf;
using testing::startFrom;
using testing::Truth;

const FittedValue& valueOf(const FitResult& result, const std::string& box)
{
    for (const auto& value : result.values)
        if (value.box == box)
            return value;
    throw std::logic_error("no value for " + box);
}

FitParameter& parameterOf(FitProblem& problem, const std::string& box)
{
    for (auto& parameter : problem.parameters)
        if (parameter.box == box)
            return parameter;
    throw std::logic_error("no parameter " + box);
}

// The fitted constants of one kind against the truth, both sorted: constants
// of one kind may trade places without changing the spectrum.
bool recovered(const FitResult& result, FitParameterKind kind, std::vector<double> truth, double tolerance,
               std::string& detail)
{
    std::vector<const FittedValue*> found;
    for (const auto& value : result.values)
        if (value.kind == kind)
            found.push_back(&value);
    std::sort(found.begin(), found.end(),
              [](const FittedValue* a, const FittedValue* b) { return std::abs(a->value) < std::abs(b->value); });
    std::sort(truth.begin(), truth.end());
    bool good = true;
    for (std::size_t j = 0; j < found.size(); ++j) {
        const double error = std::abs(std::abs(found[j]->value) - truth[j]);
        if (error > tolerance || error > 3 * found[j]->uncertainty) {
            good = false;
            char text[120];
            std::snprintf(text, sizeof text, " %s %.4f (true %.4f, u %.4f)", found[j]->box.c_str(), found[j]->value,
                          truth[j], found[j]->uncertainty);
            detail += text;
        }
    }
    return good;
}

// ---------------------------------------------------------------------------

// Up to 6 hydrogens and 2 nitrogens, some equivalent, on a field grid of
// their own; 2 % noise and a baseline offset; every constant starts up to
// 10 % off, sigma up to 30 %, the centre up to 0.3 G. At least 95 % of the
// fits must find every constant within 0.02 G, the truth inside three
// standard uncertainties.
TEST(FitTest, RecoversKnownConstantsFromNoisySpectra)
{
    constexpr int kCases = 100;
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int good = 0;
    for (int c = 0; c < kCases; ++c) {
        Truth truth;
        const int hydrogens = std::uniform_int_distribution<int>(c % 3 == 0 ? 0 : 1, 6)(random);
        const int nitrogens = hydrogens == 0 ? std::uniform_int_distribution<int>(1, 2)(random)
                                             : std::uniform_int_distribution<int>(0, 2)(random);
        truth.hydrogen = drawSets(hydrogens, 0.6, 12.0, random);
        truth.nitrogen = drawSets(nitrogens, 2.0, 16.0, random);
        truth.sigma = 0.08 + 0.14 * unit(random);
        truth.centre = 3300 + 100 * unit(random);

        const double spread = spreadOf(truth);
        const double spacing = 0.02 + 0.03 * unit(random);
        const Measurement measurement =
            measure(truth, spacing, truth.centre - spread - 8 * truth.sigma - 3 - unit(random),
                    truth.centre + spread + 8 * truth.sigma + 3 + unit(random), 0.02, 0.5 * unit(random) - 0.25,
                    random);

        const std::vector<double> startH = startFrom(truth.hydrogen, 0.10, random);
        const std::vector<double> startN = startFrom(truth.nitrogen, 0.10, random);
        const double startSigma = truth.sigma * (1 + 0.3 * (2 * unit(random) - 1));
        const double startCentre = truth.centre + 0.3 * (2 * unit(random) - 1);
        const double range = 2 * (spread + 6 * truth.sigma + 1.5);
        const FitProblem problem =
            problemFor(measurement, startH, startN, startSigma, startCentre, range, c % 2 ? 500 : 1000);

        std::atomic<bool> cancel{false};
        const FitResult result = runFit(problem, cancel);
        std::string detail = result.message;
        const bool hydrogenFound = recovered(result, FitParameterKind::Hydrogen, truth.hydrogen, 0.02, detail);
        const bool nitrogenFound = recovered(result, FitParameterKind::Nitrogen, truth.nitrogen, 0.02, detail);
        if (result.converged() && hydrogenFound && nitrogenFound)
            ++good;
        else
            std::printf("case %d not recovered:%s\n", c, detail.c_str());
    }
    std::printf("recovered %d of %d\n", good, kCases);
    EXPECT_GE(good, 95);
}

// Repeated measurements of one radical: the scatter of the fitted constants
// is what their standard uncertainties say.
TEST(FitTest, UncertaintiesMatchTheScatterOfRepeatedMeasurements)
{
    constexpr int kRepeats = 40;
    Truth truth;
    truth.hydrogen = {2.6, 2.6, 0.9};
    truth.nitrogen = {7.3};
    truth.sigma = 0.12;
    truth.centre = 3351.4;
    std::mt19937_64 random(7);
    const std::vector<std::string> boxes{"H1", "H3", "N1", "Sigma", "GCntr"};
    std::vector<std::vector<double>> values(boxes.size());
    std::vector<double> meanUncertainty(boxes.size(), 0.0);
    for (int r = 0; r < kRepeats; ++r) {
        const Measurement measurement = measure(truth, 0.04, 3334, 3369, 0.02, 0.1, random);
        const FitProblem problem = problemFor(measurement, {2.5, 2.5, 0.95}, {7.2}, 0.13, 3351.3, 30, 500);
        std::atomic<bool> cancel{false};
        const FitResult result = runFit(problem, cancel);
        ASSERT_TRUE(result.converged()) << result.message;
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            values[b].push_back(valueOf(result, boxes[b]).value);
            meanUncertainty[b] += valueOf(result, boxes[b]).uncertainty / kRepeats;
        }
    }
    for (std::size_t b = 0; b < boxes.size(); ++b) {
        double mean = 0.0;
        for (const double v : values[b])
            mean += v / kRepeats;
        double variance = 0.0;
        for (const double v : values[b])
            variance += (v - mean) * (v - mean) / (kRepeats - 1);
        const double ratio = std::sqrt(variance) / meanUncertainty[b];
        EXPECT_GT(ratio, 0.65) << boxes[b];
        EXPECT_LT(ratio, 1.5) << boxes[b];
    }
}

// The fitted curve is the one the plot draws: the synthesis on the display
// grid, times the scale.
TEST(FitTest, DisplayedCurveIsTheDrawnSpectrum)
{
    struct Row {
        std::vector<double> hydrogen, nitrogen;
        double sigma, range;
        int points;
        double centre, scale;
    };
    const Row rows[] = {
        {{1.5}, {}, 0.1, 30, 500, 0.0, 1.0},
        {{2.0, 2.0}, {1.5}, 0.2, 20, 400, 3350.0, 0.7},
        {{}, {3.1, 3.1}, 0.15, -25, 300, 100.0, -1.2},       // descending grid, mirrored
        {{3.97, 3.39, 3.39, 1.09, 1.09}, {10.32}, 0.14, 49.95, 500, 3348.2, 1.0},
        {{0.0, 2.0}, {}, -0.3, 12, 100, 3400.0, 2.5},          // a zero constant, a negative sigma
    };
    for (const Row& row : rows) {
        SynthesisInput input;
        input.displayRange = row.range;
        input.sigma = row.sigma;
        input.points = row.points;
        input.couplingH = row.hydrogen;
        input.couplingN = row.nitrogen;
        const SimulatedSpectrum drawn = synthesize(input);
        std::vector<double> fields;
        for (const double offset : drawn.field)
            fields.push_back(row.centre + offset);
        const FitProblem problem =
            problemFor({}, row.hydrogen, row.nitrogen, row.sigma, row.centre, row.range, row.points, row.scale);
        const std::vector<double> curve = displayedCurve(problem, fields);
        ASSERT_EQ(curve.size(), fields.size());
        double worst = 0.0;
        for (std::size_t i = 0; i < curve.size(); ++i)
            worst = std::max(worst, std::abs(curve[i] - row.scale * drawn.intensity[i]));
        EXPECT_LT(worst, 1e-9) << "range " << row.range << " sigma " << row.sigma;
    }
}

// Fixed parameters keep their values; with Scl fixed the curve is scaled as
// the display scales it, and the constants are still found.
TEST(FitTest, FixedParametersStayAndTheRestIsFound)
{
    Truth truth;
    truth.hydrogen = {4.1, 1.7, 1.7};
    truth.nitrogen = {9.2};
    truth.sigma = 0.11;
    truth.centre = 3362.0;
    std::mt19937_64 random(11);
    const Measurement measurement = measure(truth, 0.03, 3342, 3382, 0.01, 0.0, random);

    // The scale that makes the drawn curve match the normalised measurement.
    FitProblem reference = problemFor(measurement, {4.1, 1.7, 1.7}, {9.2}, 0.11, 3362.0, 36, 600);
    std::atomic<bool> cancel{false};
    const FitResult all = runFit(reference, cancel);
    ASSERT_TRUE(all.converged()) << all.message;
    const double scale = valueOf(all, "Scl").value;

    struct Row {
        const char* fixed;
        double startValue;
    };
    const Row rows[] = {{"Scl", scale}, {"Sigma", 0.11}, {"GCntr", 3362.0}, {"N1", 9.2}};
    for (const Row& row : rows) {
        FitProblem problem = problemFor(measurement, {4.0, 1.75, 1.75}, {9.1}, 0.12, 3361.9, 36, 600, 1.0);
        parameterOf(problem, row.fixed).value = row.startValue;
        parameterOf(problem, row.fixed).vary = false;
        const FitResult result = runFit(problem, cancel);
        ASSERT_TRUE(result.converged()) << row.fixed << ": " << result.message;
        EXPECT_EQ(valueOf(result, row.fixed).value, row.startValue) << row.fixed;
        EXPECT_EQ(valueOf(result, row.fixed).uncertainty, 0.0) << row.fixed;
        EXPECT_NEAR(valueOf(result, "H1").value, 4.1, 0.01) << row.fixed;
        EXPECT_NEAR(valueOf(result, "H2").value, 1.7, 0.01) << row.fixed;
        EXPECT_EQ(valueOf(result, "H2").value, valueOf(result, "H3").value) << row.fixed;
        EXPECT_NEAR(valueOf(result, "N1").value, 9.2, 0.01) << row.fixed;
        EXPECT_NEAR(valueOf(result, "Scl").value, scale, 0.01) << row.fixed;
    }

    // Equal constants move on their own when asked to.
    FitProblem apart = problemFor(measurement, {4.0, 1.75, 1.75}, {9.1}, 0.12, 3361.9, 36, 600);
    apart.keepEqualConstantsEqual = false;
    const FitResult separate = runFit(apart, cancel);
    ASSERT_TRUE(separate.converged()) << separate.message;
    EXPECT_EQ(separate.parameterCount, 8); // H1, H2, H3, N1, Sigma, GCntr, Scl and the offset
    EXPECT_NEAR(valueOf(separate, "H2").value + valueOf(separate, "H3").value, 3.4, 0.05);
}

TEST(FitTest, BadCasesEndWithAClearMessage)
{
    Truth truth;
    truth.hydrogen = {2.2};
    truth.nitrogen = {6.5};
    truth.sigma = 0.15;
    truth.centre = 3400.0;
    std::mt19937_64 random(3);
    const Measurement measurement = measure(truth, 0.05, 3385, 3415, 0.02, 0.0, random);

    struct Row {
        const char* name;
        FitProblem problem;
        FitOutcome outcome;
        const char* message;
    };
    std::vector<Row> rows;
    {
        FitProblem narrow = problemFor(measurement, {2.2}, {6.5}, 0.15, 3400.0, 0.12, 500);
        rows.push_back({"a few points in the frame", narrow, FitOutcome::TooFewPoints,
                        "observed points lie in the frame, not enough to fit 6 parameters"});
    }
    {
        FitProblem none = problemFor(measurement, {2.2}, {6.5}, 0.15, 3400.0, 26, 500);
        for (auto& parameter : none.parameters)
            parameter.vary = false;
        rows.push_back({"nothing varied", none, FitOutcome::Failed, "Nothing to fit"});
    }
    {
        FitProblem flat = problemFor(measurement, {200.0}, {}, 0.15, 3400.0, 26, 500);
        rows.push_back({"no line on the grid", flat, FitOutcome::Failed, "The simulated spectrum is flat"});
    }
    for (const Row& row : rows) {
        std::atomic<bool> cancel{false};
        const FitResult result = runFit(row.problem, cancel);
        EXPECT_EQ(result.outcome, row.outcome) << row.name << ": " << result.message;
        EXPECT_NE(result.message.find(row.message), std::string::npos) << row.name << ": " << result.message;
        for (std::size_t i = 0; i < result.values.size(); ++i)
            EXPECT_EQ(result.values[i].value, row.problem.parameters[i].value) << row.name;
    }
}

// Starts a new user would type after a glance at the plot: the centre off by
// up to half the largest coupling, the scale upside down, the width off by a
// factor of 3. The search ahead of the local method brings each near the
// answer, so none ends with the scale running through zero.
TEST(FitTest, PoorStartsStillConverge)
{
    const Truth truth = testing::radical({4.1, 1.7}, {9.2}, 0.12, 3361.8);
    std::mt19937_64 random(21);
    const Measurement measurement = measure(truth, 0.02, 3340, 3384, 0.02, 0.0, random);
    Measurement mirrored = measurement;
    for (double& y : mirrored.intensity)
        y = -y;

    struct Row {
        const char* name;
        const Measurement& measurement;
        double centre, scale, sigma;
        double expectedSign;
    };
    const Row rows[] = {
        {"centre 4.6 G low", measurement, 3357.2, 1.0, 0.12, 1.0},
        {"centre 4.6 G high", measurement, 3366.4, 1.0, 0.12, 1.0},
        {"scale upside down", measurement, 3361.9, -1.0, 0.12, 1.0},
        {"measurement upside down", mirrored, 3361.9, 1.0, 0.12, -1.0},
        {"sigma three times too wide", measurement, 3361.9, 1.0, 0.36, 1.0},
        {"sigma a third", measurement, 3361.9, 1.0, 0.04, 1.0},
        {"all at once", measurement, 3358.0, -1.0, 0.36, 1.0},
    };
    std::atomic<bool> cancel{false};
    const FitResult good = runFit(problemFor(measurement, {4.0, 1.75}, {9.1}, 0.12, 3361.9, 44, 1000), cancel);
    ASSERT_TRUE(good.converged()) << good.message;
    for (const Row& row : rows) {
        FitProblem problem = problemFor(row.measurement, {4.0, 1.75}, {9.1}, row.sigma, row.centre, 44, 1000,
                                        row.scale);
        const FitResult result = runFit(problem, cancel);
        ASSERT_TRUE(result.converged()) << row.name << ": " << result.message;
        EXPECT_NEAR(valueOf(result, "H1").value, 4.1, 0.02) << row.name;
        EXPECT_NEAR(valueOf(result, "H2").value, 1.7, 0.02) << row.name;
        EXPECT_NEAR(valueOf(result, "N1").value, 9.2, 0.02) << row.name;
        EXPECT_NEAR(valueOf(result, "Sigma").value, 0.12, 0.01) << row.name;
        EXPECT_NEAR(valueOf(result, "GCntr").value, 3361.8, 0.01) << row.name;
        EXPECT_NEAR(valueOf(result, "Scl").value, row.expectedSign * valueOf(good, "Scl").value, 1e-4) << row.name;
    }
}

TEST(FitTest, CancelStopsTheFitAndKeepsTheStart)
{
    Truth truth;
    truth.hydrogen = {3.0, 3.0, 1.2, 0.7};
    truth.nitrogen = {8.0};
    truth.sigma = 0.1;
    std::mt19937_64 random(5);
    const Measurement measurement = measure(truth, 0.02, 3330, 3370, 0.02, 0.0, random);
    const FitProblem problem = problemFor(measurement, {3.2, 3.2, 1.1, 0.75}, {7.8}, 0.12, 3350.1, 36, 500);

    std::atomic<bool> cancel{true};
    const FitResult before = runFit(problem, cancel);
    EXPECT_EQ(before.outcome, FitOutcome::Cancelled);
    EXPECT_EQ(before.iterations, 0);

    cancel = false;
    int steps = 0;
    const FitResult during = runFit(problem, cancel, [&](const FitProgress& progress) {
        if (progress.phase != FitPhase::Smoothed && progress.phase != FitPhase::Points)
            return;
        ++steps;
        EXPECT_GT(progress.rms, 0.0);
        EXPECT_GE(progress.start, 1);
        if (progress.iteration == 3)
            cancel = true;
    });
    EXPECT_EQ(during.outcome, FitOutcome::Cancelled);
    EXPECT_EQ(steps, 3);
    EXPECT_NE(during.message.find("cancelled"), std::string::npos);
    for (std::size_t i = 0; i < during.values.size(); ++i)
        EXPECT_EQ(during.values[i].value, problem.parameters[i].value);
}

// Every phase is reported, in order, from the first moment; a share done
// stays within 0 to 1, and never runs backwards in the phases that are one
// piece of work.
TEST(FitTest, ProgressNamesEachPhaseInOrder)
{
    const Truth truth = testing::radical({3.0, 3.0, 1.2}, {8.0}, 0.1);
    std::mt19937_64 random(9);
    const Measurement ordinary = measure(truth, 0.02, 3330, 3370, 0.01, 0.0, random);
    Measurement reversed = ordinary;
    std::reverse(reversed.field.begin(), reversed.field.end());
    std::reverse(reversed.intensity.begin(), reversed.intensity.end());
    const Measurement longOne = measure(truth, 0.00025, 3330, 3370, 0.01, 0.0, random);

    using P = FitPhase;
    struct Row {
        const char* name;
        const Measurement& measurement;
        std::vector<FitPhase> phases; // in the order they first appear
    };
    const Row rows[] = {
        {"in field order", ordinary, {P::Sorting, P::Starting, P::Searching, P::Smoothed, P::Points, P::Uncertainties}},
        {"a downward sweep", reversed, {P::Sorting, P::Starting, P::Searching, P::Smoothed, P::Points, P::Uncertainties}},
        {"160000 points",
         longOne,
         {P::Sorting, P::Averaging, P::Starting, P::Searching, P::Smoothed, P::Points, P::AllPoints,
          P::Uncertainties}},
    };
    for (const Row& row : rows) {
        const FitProblem problem = problemFor(row.measurement, {3.1, 3.1, 1.15}, {7.9}, 0.11, 3350.05, 36, 500);
        std::atomic<bool> cancel{false};
        std::vector<FitPhase> phases;
        double lastDone = 0.0;
        const FitResult result = runFit(problem, cancel, [&](const FitProgress& progress) {
            EXPECT_GE(progress.done, 0.0) << row.name;
            EXPECT_LE(progress.done, 1.0) << row.name;
            if (std::find(phases.begin(), phases.end(), progress.phase) == phases.end()) {
                phases.push_back(progress.phase);
                lastDone = 0.0;
            } else if (progress.phase == phases.back() && progress.phase <= FitPhase::Starting) {
                EXPECT_GE(progress.done, lastDone) << row.name;
            }
            lastDone = progress.done;
        });
        ASSERT_TRUE(result.converged()) << row.name << ": " << result.message;
        EXPECT_EQ(phases, row.phases) << row.name;
    }
}

// A spectrum too long to fit point by point is fitted on averages of
// neighbouring points and then on every point. It must end where a fit on
// every point ends: at the least squares of all the points (no small move
// of any parameter lowers them), and with uncertainties that shrink as the
// square root of the number of points against the same spectrum thinned to
// every fourth point, which is fitted point by point.
TEST(FitTest, ALongSpectrumEndsWhereAFitOnEveryPointEnds)
{
    const Truth truth = testing::radical({3.97, 3.39, 3.39, 1.09, 1.09}, {10.32}, 0.14, 3348.2);
    std::mt19937_64 random(17);
    const Measurement full = measure(truth, 0.0002, 3323.2, 3373.2, 0.02, 0.1, random);
    Measurement thinned;
    for (std::size_t i = 0; i < full.field.size(); i += 4) {
        thinned.field.push_back(full.field[i]);
        thinned.intensity.push_back(full.intensity[i]);
    }
    const auto problemOf = [](const Measurement& measurement) {
        return problemFor(measurement, {4.1, 3.3, 3.3, 1.05, 1.05}, {10.1}, 0.16, 3348.1, 50, 500);
    };
    const FitProblem longProblem = problemOf(full);
    ASSERT_GT(longProblem.field.size(), 200000u);
    std::atomic<bool> cancel{false};
    const FitResult all = runFit(longProblem, cancel);
    const FitResult quarter = runFit(problemOf(thinned), cancel);
    ASSERT_TRUE(all.converged()) << all.message;
    ASSERT_TRUE(quarter.converged()) << quarter.message;
    EXPECT_EQ(all.pointCount, static_cast<int>(longProblem.field.size()));

    for (std::size_t k = 0; k < all.values.size(); ++k) {
        const FittedValue& a = all.values[k];
        const FittedValue& q = quarter.values[k];
        if (!a.varied)
            continue;
        EXPECT_NEAR(a.value, q.value, 3 * q.uncertainty) << a.box;
        EXPECT_NEAR(a.uncertainty / q.uncertainty, 0.5, 0.1) << a.box;
    }
    EXPECT_NEAR(all.rmsAfter, quarter.rmsAfter, 0.05 * quarter.rmsAfter);

    // The sum of squares at the result, and with each parameter moved by a
    // tenth of its uncertainty either way.
    const auto sumOfSquares = [&](const std::vector<FittedValue>& values) {
        FitProblem at = longProblem;
        for (std::size_t k = 0; k < values.size(); ++k)
            at.parameters[k].value = values[k].value;
        const std::vector<double> curve = displayedCurve(at, at.field);
        double sum = 0.0;
        for (std::size_t i = 0; i < curve.size(); ++i)
            sum += (curve[i] - at.intensity[i]) * (curve[i] - at.intensity[i]);
        return sum;
    };
    const double least = sumOfSquares(all.values);
    for (std::size_t k = 0; k < all.values.size(); ++k) {
        if (!all.values[k].varied)
            continue;
        for (const double side : {-0.1, 0.1}) {
            std::vector<FittedValue> moved = all.values;
            moved[k].value += side * all.values[k].uncertainty;
            EXPECT_GT(sumOfSquares(moved), least) << all.values[k].box << " " << side;
        }
    }
}

// ---------------------------------------------------------------------------
// Setting up from the boxes.

class PrepareFitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const BoxInfo& box : kBoxes)
            host.setBoxText(box.name, std::string(box.initialText));
        Initialise(state, "/tmp");
        state.ObsFileName = "/tmp/run.dat";
        state.ObsLoaded = true;
        state.ObsCount = 11;
        state.ObsField.assign(21, 0.0);
        state.ObsIntensity.assign(21, 0.0);
        for (int i = 1; i <= 11; ++i) {
            state.ObsField[static_cast<std::size_t>(i)] = 3395.0 + i; // 3396 .. 3406
            state.ObsIntensity[static_cast<std::size_t>(i)] = 0.1 * i;
        }
        host.setBoxes({{"GCntr", "3400.5"}, {"Scl", "0.8"}, {"G", "6"}, {"Sigma", "0.2"}, {"H1", "2.5"},
                       {"H2", "1.25"}, {"N1", "7"}});
    }

    ProgramState state;
    testing::FakeHost host{state};
};

TEST_F(PrepareFitTest, ReadsTheBoxesAsCalculateDoesWithoutTouchingTheState)
{
    host.setBoxText("H3", "H3");
    host.setBoxText("H4", "not read: the chain ends at H3");
    const ProgramState before = state;
    const FitSetup setup = prepareFit(state, host);
    ASSERT_TRUE(setup.problem) << setup.notice;
    const FitProblem& problem = *setup.problem;

    EXPECT_EQ(problem.frameLow, 3397.5);
    EXPECT_EQ(problem.frameHigh, 3403.5);
    EXPECT_EQ(problem.field, (std::vector<double>{3398, 3399, 3400, 3401, 3402, 3403}));
    EXPECT_DOUBLE_EQ(problem.intensity.front(), 0.3);
    EXPECT_EQ(problem.displayRange, 6.0);
    EXPECT_EQ(problem.points, 500);
    std::vector<std::string> boxes;
    for (const auto& parameter : problem.parameters) {
        boxes.push_back(parameter.box);
        EXPECT_EQ(parameter.vary, parameter.kind != FitParameterKind::Slope) << parameter.box;
    }
    EXPECT_EQ(boxes, (std::vector<std::string>{"H1", "H2", "N1", "Sigma", "GCntr", "Scl", "Baseline offset",
                                               "Baseline slope"}));
    EXPECT_EQ(problem.parameters[1].value, 1.25);
    EXPECT_EQ(problem.parameters[4].value, 3400.5);
    EXPECT_EQ(problem.parameters[5].value, 0.8);

    EXPECT_EQ(state.CenterField, before.CenterField);
    EXPECT_EQ(state.MutualScale, before.MutualScale);
    EXPECT_EQ(state.HCount, before.HCount);
    EXPECT_EQ(state.CouplingH, before.CouplingH);
    EXPECT_EQ(state.CalcValid, before.CalcValid);
}

TEST_F(PrepareFitTest, WhatIsMissingIsNoticed)
{
    struct Row {
        const char* name;
        std::map<std::string, std::string> boxes;
        bool observed;
        std::string notice;
    };
    const Row rows[] = {
        {"neither H1 nor N1", {{"H1", "H1"}, {"N1", "N1"}}, true, std::string(messages::kMissingParameters)},
        {"no sigma", {{"Sigma", "Sigma"}}, true, std::string(messages::kMissingParameters)},
        {"no observed spectrum", {}, false, std::string(messages::kFitNeedsObservedSpectrum)},
        {"no points", {{"NoPnts", "0"}}, true, "Fit needs between 1 and 1000000 points (NoPnts)"},
        {"sigma 0", {{"Sigma", "0"}}, true, "Sigma must not be 0"},
        {"frame beside the data", {{"GCntr", "3300"}}, true, "No observed point lies in the frame"},
    };
    for (const Row& row : rows) {
        SetUp();
        host.setBoxes(row.boxes);
        if (!row.observed)
            state.ObsFileName = "NONE";
        const FitSetup setup = prepareFit(state, host);
        EXPECT_FALSE(setup.problem) << row.name;
        EXPECT_NE(setup.notice.find(row.notice), std::string::npos) << row.name << ": " << setup.notice;
    }
}

TEST_F(PrepareFitTest, ABoxThatIsNoNumberGivesCalculatesError)
{
    host.setBoxText("H2", "1,25");
    try {
        prepareFit(state, host);
        FAIL() << "no error";
    } catch (const UserError& error) {
        EXPECT_EQ(error.message(), messages::notAReal("1,25"));
    }
}

// ---------------------------------------------------------------------------
// Keeping the result.

TEST(FitTest, DecimalsFollowTheUncertainty)
{
    struct Row {
        double uncertainty;
        int minimum;
        int decimals;
    };
    const Row rows[] = {
        {0.0034, 2, 4}, {0.012, 2, 3}, {0.099, 2, 3}, {0.1, 2, 2}, {0.5, 2, 2}, {3.0, 2, 2},
        {0.0034, 4, 4}, {0.5, 4, 4},   {1e-12, 2, 9}, {0.0, 2, 4}, {std::numeric_limits<double>::infinity(), 2, 4},
    };
    for (const Row& row : rows)
        EXPECT_EQ(decimalsForUncertainty(row.uncertainty, row.minimum), row.decimals) << row.uncertainty;
}

TEST(FitTest, KeepWritesVariedValuesWithTheSystemSeparator)
{
    ProgramState state;
    testing::FakeHost host(state, ',');
    host.setBoxes({{"H1", "3.3"}, {"H2", "3.3"}, {"N1", "10"}, {"Sigma", "0.1"}});
    FitResult result;
    result.outcome = FitOutcome::Converged;
    result.values = {
        {"H1", FitParameterKind::Hydrogen, true, 3.3, 3.38937, 0.0034},
        {"H2", FitParameterKind::Hydrogen, true, 3.3, 3.38937, 0.0034},
        {"N1", FitParameterKind::Nitrogen, false, 10.0, 10.0, 0.0},
        {"Sigma", FitParameterKind::Sigma, true, 0.1, 0.14588, 0.004},
        {"GCntr", FitParameterKind::Centre, true, 3348.0, 3348.20024, 0.00012},
        {"Scl", FitParameterKind::Scale, true, 1.0, 0.98112, 0.03},
    };
    writeFittedValues(result, host);
    EXPECT_EQ(host.boxText("H1"), "3,3894");
    EXPECT_EQ(host.boxText("H2"), "3,3894");
    EXPECT_EQ(host.boxText("N1"), "10");
    EXPECT_EQ(host.boxText("Sigma"), "0,1459");
    EXPECT_EQ(host.boxText("GCntr"), "3348,20024");
    EXPECT_EQ(host.boxText("Scl"), "0,9811");
}

} // namespace
} // namespace ravelle
