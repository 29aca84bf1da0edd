// Fit times: synthetic measurements of up to 6 hydrogens and 2 nitrogens
// (2 % noise, starts up to 10 % off), the example spectrum, and a long
// narrow-line sweep of about 5000 points. The goal is at most 0.25 s per fit.
//
// Then very long spectra (up to the import's 10,000,000 lines): the time of a
// whole fit, the time to its first progress report, the memory it needs at
// its peak beyond what was in use before, and how soon a cancel takes effect.
// The goals: at most about 100 bytes per point, progress within 0.5 s and a
// cancel within 0.25 s.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/fit/Fit.h"
#include "engine/Synthesis.h"
#include "io/ObservedImport.h"
#include "tests/support/SyntheticSpectra.h"
#ifdef RAVELLE_BENCH_MEASURED
#include "tests/support/MeasuredSpectra.h"
#endif

namespace {

using namespace ravelle;

struct Case {
    FitProblem problem;
    std::size_t lines = 0;
};

// A measurement made by the program's synthesis on a grid of its own, with
// noise and a baseline, normalised as the import does, and the problem Fit
// sets up for it from starts off by up to 10 % (sigma 30 %, centre 0.3 G).
Case makeCase(const std::vector<double>& hydrogen, const std::vector<double>& nitrogen, double sigma,
              double spacing, double noiseShare, std::mt19937_64& random)
{
    testing::Truth truth;
    truth.hydrogen = hydrogen;
    truth.nitrogen = nitrogen;
    truth.sigma = sigma;
    const double spread = testing::spreadOf(truth);
    const double half = spread + 8 * sigma + 3;
    const testing::Measurement measurement =
        testing::measure(truth, spacing, truth.centre - half, truth.centre + half, noiseShare, 0.15, random);

    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double centre = truth.centre + 0.3 * unit(random);
    const auto startH = testing::startFrom(hydrogen, 0.10, random);
    const auto startN = testing::startFrom(nitrogen, 0.10, random);
    const double startSigma = sigma * (1 + 0.3 * unit(random));
    Case made;
    made.problem = testing::problemFor(measurement, startH, startN, startSigma, centre,
                                       2 * (spread + 6 * sigma + 1.5), 500);
    made.lines = static_cast<std::size_t>(std::pow(2, hydrogen.size()) * std::pow(3, nitrogen.size()));
    return made;
}

// The cases of the recovery test's kind, drawn from a fixed seed.
const std::vector<Case>& recoveryCases()
{
    static const std::vector<Case> cases = [] {
        std::mt19937_64 random(424242);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        std::vector<Case> made;
        for (int c = 0; c < 20; ++c) {
            const int hydrogens = std::uniform_int_distribution<int>(c % 3 == 0 ? 0 : 1, 6)(random);
            const int nitrogens = hydrogens == 0 ? std::uniform_int_distribution<int>(1, 2)(random)
                                                 : std::uniform_int_distribution<int>(0, 2)(random);
            const auto hydrogen = testing::drawSets(hydrogens, 0.6, 12.0, random);
            const auto nitrogen = testing::drawSets(nitrogens, 2.0, 16.0, random);
            made.push_back(makeCase(hydrogen, nitrogen, 0.08 + 0.14 * unit(random), 0.02 + 0.03 * unit(random),
                                    0.02, random));
        }
        return made;
    }();
    return cases;
}

void runCase(benchmark::State& state, const Case& made)
{
    std::atomic<bool> cancel{false};
    int starts = 0;
    FitResult result;
    for (auto _ : state) {
        result = runFit(made.problem, cancel, [&](const FitProgress& progress) { starts = progress.start; });
        benchmark::DoNotOptimize(result);
    }
    state.counters["points"] = static_cast<double>(made.problem.field.size());
    state.counters["lines"] = static_cast<double>(made.lines);
    state.counters["starts"] = starts;
    state.counters["steps"] = result.iterations;
    state.counters["converged"] = result.converged() ? 1 : 0;
}

// One fit of the recovery kind per case; the time per iteration is the fit time.
void BM_FitRecoveryCase(benchmark::State& state)
{
    runCase(state, recoveryCases()[static_cast<std::size_t>(state.range(0))]);
}
BENCHMARK(BM_FitRecoveryCase)->DenseRange(0, 19)->Unit(benchmark::kMillisecond)->Iterations(3);

// The example spectrum's constants: N 10.32, H 3.97, 3.39 (2), 1.09 (2).
void BM_FitExampleLike(benchmark::State& state)
{
    std::mt19937_64 random(1);
    static const Case made = makeCase({3.97, 3.39, 3.39, 1.09, 1.09}, {10.32}, 0.14, 0.05, 0.01, random);
    runCase(state, made);
}
BENCHMARK(BM_FitExampleLike)->Unit(benchmark::kMillisecond)->Iterations(5);

// A long sweep of narrow lines: 12 hydrogens in three equivalent sets of 4
// (perylene-like), about 5000 points.
void BM_FitLongSweep(benchmark::State& state)
{
    std::mt19937_64 random(2);
    static const Case made = makeCase({3.53, 3.53, 3.53, 3.53, 3.08, 3.08, 3.08, 3.08, 0.46, 0.46, 0.46, 0.46}, {},
                                      0.06, 0.0061, 0.01, random);
    runCase(state, made);
}
BENCHMARK(BM_FitLongSweep)->Unit(benchmark::kMillisecond)->Iterations(3);

#ifdef RAVELLE_BENCH_MEASURED
// Spectra measured on real instruments, fitted from by-eye starts (the cases
// of the measured-spectra test): the whole fit, import and set-up excluded.
void BM_FitMeasured(benchmark::State& state)
{
    const auto cases = testing::measuredCases();
    const testing::MeasuredCase& measured = cases[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(measured.name);
    const auto problem = testing::measuredProblem(measured);
    if (!problem) {
        state.SkipWithError("the measured spectra are not here");
        return;
    }
    FitResult result;
    for (auto _ : state) {
        std::atomic<bool> cancel{false};
        result = runFit(*problem, cancel);
    }
    state.counters["points"] = static_cast<double>(problem->field.size());
    state.counters["rms_before"] = result.rmsBefore;
    state.counters["rms_after"] = result.rmsAfter;
    state.counters["rms_goal"] = measured.rmsGoal;
    state.counters["steps"] = result.iterations;
    state.counters["converged"] = result.converged() ? 1 : 0;
}
BENCHMARK(BM_FitMeasured)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

// ---------------------------------------------------------------------------
// Very long spectra.

// The example-like radical over 50 G in `points` evenly spaced points, 1 %
// noise, normalised; the fit starts from constants 3 % off.
const FitProblem& longSpectrum(std::size_t points)
{
    static std::map<std::size_t, FitProblem> made;
    if (const auto found = made.find(points); found != made.end())
        return found->second;
    const std::vector<double> hydrogen{3.97, 3.39, 3.39, 1.09, 1.09};
    const double nitrogen = 10.32;
    FitProblem problem;
    problem.displayRange = 50;
    problem.points = 500;
    problem.frameLow = 3323.2;
    problem.frameHigh = 3373.2;
    problem.field.resize(points);
    for (std::size_t i = 0; i < points; ++i)
        problem.field[i] = problem.frameLow + 50.0 * static_cast<double>(i) / static_cast<double>(points - 1);
    for (std::size_t k = 0; k < hydrogen.size(); ++k)
        problem.parameters.push_back({FitParameterKind::Hydrogen, testing::numbered("H", k + 1), hydrogen[k], false});
    problem.parameters.push_back({FitParameterKind::Nitrogen, "N1", nitrogen, false});
    problem.parameters.push_back({FitParameterKind::Sigma, "Sigma", 0.14, false});
    problem.parameters.push_back({FitParameterKind::Centre, "GCntr", 3348.2, false});
    problem.parameters.push_back({FitParameterKind::Scale, "Scl", 1.0, false});
    problem.intensity = displayedCurve(problem, problem.field);
    std::mt19937_64 random(points);
    std::normal_distribution<double> noise(0.0, 0.01);
    for (double& y : problem.intensity)
        y += noise(random);
    const double factors[] = {1.03, 0.97, 0.97, 1.03, 1.03, 0.98, 1.2, 1.0, 1.0};
    for (std::size_t k = 0; k < problem.parameters.size(); ++k) {
        problem.parameters[k].value *= factors[k];
        problem.parameters[k].vary = true;
    }
    problem.parameters[7].value += 0.05; // GCntr
    return made.emplace(points, std::move(problem)).first->second;
}

// Resident and peak memory of this process, from /proc (Linux).
long long statusBytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == field) {
            long long kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
    }
    return 0;
}

// Starts the peak over again at what is resident now.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double secondsSince(std::chrono::steady_clock::time_point begin)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// One whole fit: its time, the time to its first report and its peak memory.
void BM_FitLongSpectrum(benchmark::State& state)
{
    const FitProblem& problem = longSpectrum(static_cast<std::size_t>(state.range(0)));
    std::atomic<bool> cancel{false};
    FitResult result;
    double firstReport = -1;
    double peak = 0;
    for (auto _ : state) {
        const long long before = statusBytes("VmRSS:");
        resetPeak();
        const auto begin = std::chrono::steady_clock::now();
        firstReport = -1;
        result = runFit(problem, cancel, [&](const FitProgress&) {
            if (firstReport < 0)
                firstReport = secondsSince(begin);
        });
        peak = static_cast<double>(statusBytes("VmHWM:") - before);
    }
    const double points = static_cast<double>(problem.field.size());
    state.counters["points"] = points;
    state.counters["first_report_s"] = firstReport;
    state.counters["peak_MB"] = peak / 1e6;
    state.counters["bytes_per_point"] = peak / points;
    state.counters["steps"] = result.iterations;
    state.counters["converged"] = result.converged() ? 1 : 0;
    state.counters["N1"] = result.values.size() > 5 ? result.values[5].value : 0.0;
}
BENCHMARK(BM_FitLongSpectrum)->Arg(100'000)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kSecond)->Iterations(1);

// The same spectrum as written by a downward sweep: the fit sorts it first.
const FitProblem& descendingSpectrum(std::size_t points)
{
    static std::map<std::size_t, FitProblem> made;
    if (const auto found = made.find(points); found != made.end())
        return found->second;
    FitProblem problem = longSpectrum(points);
    std::reverse(problem.field.begin(), problem.field.end());
    std::reverse(problem.intensity.begin(), problem.intensity.end());
    return made.emplace(points, std::move(problem)).first->second;
}

void BM_FitLongDescendingSpectrum(benchmark::State& state)
{
    const FitProblem& problem = descendingSpectrum(static_cast<std::size_t>(state.range(0)));
    std::atomic<bool> cancel{false};
    FitResult result;
    double peak = 0;
    for (auto _ : state) {
        const long long before = statusBytes("VmRSS:");
        resetPeak();
        result = runFit(problem, cancel);
        peak = static_cast<double>(statusBytes("VmHWM:") - before);
    }
    state.counters["peak_MB"] = peak / 1e6;
    state.counters["bytes_per_point"] = peak / static_cast<double>(problem.field.size());
    state.counters["converged"] = result.converged() ? 1 : 0;
}
BENCHMARK(BM_FitLongDescendingSpectrum)->Arg(10'000'000)->Unit(benchmark::kSecond)->Iterations(1);

// Cancels a fit of 10,000,000 points once it has reached the given phase
// (and a quarter of that phase's work, where it reports shares) and measures
// how long it takes to return. The descending spectrum has to be sorted.
void BM_FitCancel(benchmark::State& state)
{
    const auto phase = static_cast<FitPhase>(state.range(0));
    const FitProblem& problem =
        phase == FitPhase::Sorting ? descendingSpectrum(10'000'000) : longSpectrum(10'000'000);
    double latency = 0;
    FitOutcome outcome = FitOutcome::Failed;
    for (auto _ : state) {
        std::atomic<bool> cancel{false};
        std::atomic<bool> reached{false};
        std::atomic<bool> done{false};
        std::thread fit([&] {
            outcome = runFit(problem, cancel, [&](const FitProgress& progress) {
                const bool steps = progress.phase == FitPhase::Smoothed || progress.phase == FitPhase::Points;
                if (progress.phase == phase && (progress.done >= 0.25 || steps))
                    reached = true;
            }).outcome;
            done = true;
        });
        while (!reached && !done)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const auto asked = std::chrono::steady_clock::now();
        cancel = true;
        fit.join();
        latency = secondsSince(asked);
    }
    state.counters["cancelled"] = outcome == FitOutcome::Cancelled ? 1 : 0;
    state.counters["latency_s"] = latency;
}
BENCHMARK(BM_FitCancel)
    ->DenseRange(static_cast<int>(FitPhase::Sorting), static_cast<int>(FitPhase::AllPoints))
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

// The heaviest fit that is still done point by point: 100,000 points and 19
// parameters (15 hydrogen constants kept apart, 98,304 lines). Cancelled
// once it has reached the given phase; how long it takes to return.
void BM_FitCancelManyParameters(benchmark::State& state)
{
    static const FitProblem problem = [] {
        FitProblem made;
        made.displayRange = 40;
        made.points = 1000;
        made.frameLow = 3330;
        made.frameHigh = 3370;
        for (int i = 0; i < 100'000; ++i)
            made.field.push_back(3330 + 40.0 * i / 99'999);
        for (int k = 1; k <= 15; ++k)
            made.parameters.push_back({FitParameterKind::Hydrogen, testing::numbered("H", static_cast<std::size_t>(k)),
                                       0.4 + 0.3 * (k % 5) + 0.05 * k, true});
        made.parameters.push_back({FitParameterKind::Nitrogen, "N1", 6.3, true});
        made.parameters.push_back({FitParameterKind::Sigma, "Sigma", 0.1, true});
        made.parameters.push_back({FitParameterKind::Centre, "GCntr", 3350, true});
        made.parameters.push_back({FitParameterKind::Scale, "Scl", 1, true});
        made.intensity = displayedCurve(made, made.field);
        for (std::size_t k = 0; k < 15; ++k)
            made.parameters[k].value *= 1.02;
        made.keepEqualConstantsEqual = false;
        return made;
    }();
    const auto phase = static_cast<FitPhase>(state.range(0));
    double latency = 0;
    for (auto _ : state) {
        std::atomic<bool> cancel{false};
        std::atomic<bool> reached{false};
        std::thread fit([&] {
            runFit(problem, cancel, [&](const FitProgress& progress) {
                if (progress.phase == phase)
                    reached = true;
            });
            reached = true;
        });
        while (!reached)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const auto asked = std::chrono::steady_clock::now();
        cancel = true;
        fit.join();
        latency = secondsSince(asked);
    }
    state.counters["latency_s"] = latency;
}
BENCHMARK(BM_FitCancelManyParameters)
    ->Arg(static_cast<int>(FitPhase::Starting))
    ->Arg(static_cast<int>(FitPhase::Points))
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
