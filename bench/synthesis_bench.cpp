// The synthesis Calculate runs, on the spectra that set its speed goals, and
// the literal method beside it on the two that it finishes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "engine/FastSynthesis.h"
#include "engine/Synthesis.h"
#ifdef RAVELLE_BENCH_CALCULATE
#include "engine/ProgramState.h"
#include "tests/support/FakeHost.h"
#include "ui/Commands.h"
#endif

namespace {

using ravelle::SynthesisInput;

// Naphthalene radical anion: two sets of four equivalent protons,
// 256 lines on 25 positions.
SynthesisInput naphthalene()
{
    SynthesisInput input;
    input.displayRange = 30.0;
    input.sigma = 0.1;
    input.points = 500;
    input.couplingH = {4.95, 4.95, 4.95, 4.95, 1.83, 1.83, 1.83, 1.83};
    return input;
}

// 15 distinct, unevenly spaced proton constants: 32,768 lines, no two on the
// same position.
SynthesisInput h15()
{
    SynthesisInput input;
    input.displayRange = 60.0;
    input.sigma = 0.05;
    input.points = 500;
    input.couplingH = {0.31, 0.77, 1.13, 1.58, 1.94, 2.41, 2.87, 3.22, 3.69, 4.05, 4.52, 4.93, 5.36, 5.71, 6.1};
    return input;
}

// The largest case: those protons and six distinct nitrogens, 23,887,872 lines.
SynthesisInput h15n6(int points = 500)
{
    SynthesisInput input = h15();
    input.displayRange = 120.0;
    input.sigma = 0.1;
    input.points = points;
    input.couplingN = {0.7, 1.43, 2.21, 3.05, 3.87, 4.9};
    return input;
}

// The same lines on a 2,000 G range, 4 G between points, sigma 0.02.
SynthesisInput wide()
{
    SynthesisInput input = h15n6();
    input.displayRange = 2000.0;
    input.sigma = 0.02;
    return input;
}

void runSynthesis(benchmark::State& state, const SynthesisInput& input)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ravelle::synthesize(input));
}

void BM_naphthalene(benchmark::State& state) { runSynthesis(state, naphthalene()); }
void BM_h15(benchmark::State& state) { runSynthesis(state, h15()); }
void BM_h15n6(benchmark::State& state) { runSynthesis(state, h15n6()); }
void BM_h15n6_5000(benchmark::State& state) { runSynthesis(state, h15n6(5000)); }
void BM_wide(benchmark::State& state) { runSynthesis(state, wide()); }

// Median seconds of the program's synthesis, for the speed-up counters.
double synthesisSeconds(const SynthesisInput& input)
{
    std::vector<double> seconds;
    for (int run = 0; run < 101; ++run) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ravelle::synthesize(input));
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(seconds.begin(), seconds.begin() + 50, seconds.end());
    return seconds[50];
}

void runLiteral(benchmark::State& state, const SynthesisInput& input)
{
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ravelle::synthesizeLiteral(input));
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["speedup"] = total / static_cast<double>(state.iterations()) / synthesisSeconds(input);
}

void BM_literal_naphthalene(benchmark::State& state) { runLiteral(state, naphthalene()); }
void BM_literal_h15(benchmark::State& state) { runLiteral(state, h15()); }

#ifdef RAVELLE_BENCH_CALCULATE
// A whole Calculate on h15n6 as the window runs it: the boxes read and
// checked, the synthesis, the plot window, the boxes written back and the
// raster redrawn.
void BM_calculate(benchmark::State& state)
{
    ravelle::ProgramState program;
    ravelle::Initialise(program, "/tmp");
    ravelle::testing::FakeHost host(program);
    host.setBoxes({{"G", "120"},    {"Sigma", "0.1"}, {"NoPnts", "500"}, {"H1", "0.31"}, {"H2", "0.77"},
                   {"H3", "1.13"},  {"H4", "1.58"},    {"H5", "1.94"},    {"H6", "2.41"}, {"H7", "2.87"},
                   {"H8", "3.22"},  {"H9", "3.69"},    {"H10", "4.05"},   {"H11", "4.52"}, {"H12", "4.93"},
                   {"H13", "5.36"}, {"H14", "5.71"},   {"H15", "6.1"},    {"N1", "0.7"},  {"N2", "1.43"},
                   {"N3", "2.21"},  {"N4", "3.05"},    {"N5", "3.87"},    {"N6", "4.9"}});
    for (auto _ : state)
        ravelle::calculateCommand(program, host);
    if (!host.errors.empty() || !host.notices.empty() || program.HCount != 15 || program.NCount != 6)
        state.SkipWithError("Calculate did not run on 15 hydrogens and 6 nitrogens");
}
#endif

} // namespace

#ifdef RAVELLE_BENCH_CALCULATE
BENCHMARK(BM_calculate)->Name("calculate")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
#endif
BENCHMARK(BM_naphthalene)->Name("naphthalene")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_h15)->Name("h15")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_h15n6)->Name("h15n6")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_h15n6_5000)->Name("h15n6_5000")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_wide)->Name("wide")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_literal_naphthalene)->Name("literal/naphthalene")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_literal_h15)->Name("literal/h15")->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
