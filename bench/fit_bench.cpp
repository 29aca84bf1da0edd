// Fit times: synthetic measurements of up to 6 hydrogens and 2 nitrogens
// (2 % noise, starts up to 10 % off), the example spectrum, and a long
// narrow-line sweep of 8192 points. The goal is at most 0.25 s per fit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "engine/Fit.h"
#include "engine/Synthesis.h"
#include "io/ObservedImport.h"

namespace {

using namespace ravelle;

struct Case {
    FitProblem problem;
    std::size_t lines = 0;
};

std::vector<double> drawSets(int nuclei, double low, double high, std::mt19937_64& random)
{
    std::vector<double> constants;
    std::uniform_real_distribution<double> value(low, high);
    std::uniform_int_distribution<int> size(1, 3);
    while (static_cast<int>(constants.size()) < nuclei) {
        const int members = std::min(size(random), nuclei - static_cast<int>(constants.size()));
        constants.insert(constants.end(), static_cast<std::size_t>(members), value(random));
    }
    return constants;
}

std::string numbered(const char* kind, std::size_t k)
{
    std::string box = kind;
    box += std::to_string(k);
    return box;
}

std::vector<double> startFrom(const std::vector<double>& truth, std::mt19937_64& random)
{
    std::uniform_real_distribution<double> off(-0.1, 0.1);
    std::vector<double> start;
    for (std::size_t k = 0; k < truth.size(); ++k)
        start.push_back(k > 0 && truth[k] == truth[k - 1] ? start.back() : truth[k] * (1 + off(random)));
    return start;
}

// A measurement made by the program's synthesis on a grid of its own, with
// noise, normalised as the import does, and the problem Fit sets up for it.
Case makeCase(const std::vector<double>& hydrogen, const std::vector<double>& nitrogen, double sigma,
              double spacing, double noiseShare, std::mt19937_64& random)
{
    double spread = 0.0;
    for (const double a : hydrogen)
        spread += a / 2;
    for (const double b : nitrogen)
        spread += b;
    const double half = spread + 8 * sigma + 3;
    const auto intervals = static_cast<std::int32_t>(2 * std::ceil(half / spacing));
    SynthesisInput input;
    input.displayRange = intervals * spacing;
    input.points = intervals;
    input.sigma = sigma;
    input.couplingH = hydrogen;
    input.couplingN = nitrogen;
    const SimulatedSpectrum clean = synthesize(input);

    constexpr double kCentre = 3350.0;
    std::normal_distribution<double> noise(0.0, noiseShare * 2);
    ObservedSpectrum file;
    file.field.push_back(0.0);
    file.intensity.push_back(0.0);
    for (std::size_t i = 0; i < clean.field.size(); ++i) {
        file.field.push_back(kCentre + clean.field[i]);
        file.intensity.push_back(clean.intensity[i] + 0.3 + noise(random));
    }
    file.count = static_cast<std::int32_t>(file.field.size()) - 1;
    file.field.resize(file.field.size() + 9, 0.0);
    file.intensity.resize(file.intensity.size() + 9, 0.0);
    normaliseObservedSpectrum(file);

    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    Case made;
    FitProblem& problem = made.problem;
    const double centre = kCentre + 0.3 * unit(random);
    problem.displayRange = 2 * (spread + 6 * sigma + 1.5);
    problem.points = 500;
    problem.frameLow = centre - problem.displayRange / 2;
    problem.frameHigh = centre + problem.displayRange / 2;
    for (std::int32_t i = 1; i <= file.count; ++i) {
        if (file.field[i] >= problem.frameLow && file.field[i] <= problem.frameHigh) {
            problem.field.push_back(file.field[i]);
            problem.intensity.push_back(file.intensity[i]);
        }
    }
    const auto startH = startFrom(hydrogen, random);
    const auto startN = startFrom(nitrogen, random);
    for (std::size_t k = 0; k < startH.size(); ++k)
        problem.parameters.push_back({FitParameterKind::Hydrogen, numbered("H", k + 1), startH[k], true});
    for (std::size_t k = 0; k < startN.size(); ++k)
        problem.parameters.push_back({FitParameterKind::Nitrogen, numbered("N", k + 1), startN[k], true});
    problem.parameters.push_back({FitParameterKind::Sigma, "Sigma", sigma * (1 + 0.3 * unit(random)), true});
    problem.parameters.push_back({FitParameterKind::Centre, "GCntr", centre, true});
    problem.parameters.push_back({FitParameterKind::Scale, "Scl", 1.0, true});
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
            const auto hydrogen = drawSets(hydrogens, 0.6, 12.0, random);
            const auto nitrogen = drawSets(nitrogens, 2.0, 16.0, random);
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
// (perylene-like), about 8000 points.
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
