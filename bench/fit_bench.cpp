// Fit times: synthetic measurements of up to 6 hydrogens and 2 nitrogens
// (2 % noise, starts up to 10 % off), the example spectrum, and a long
// narrow-line sweep of about 5000 points. The goal is at most 0.25 s per fit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "engine/fit/Fit.h"
#include "engine/Synthesis.h"
#include "io/ObservedImport.h"
#include "tests/support/SyntheticSpectra.h"

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

} // namespace

BENCHMARK_MAIN();
