// The synthesis Calculate runs, on the spectra that set its speed goals, and
// the literal method beside it on the two that it finishes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/FastSynthesis.h"
#include "engine/Synthesis.h"
#ifdef RAVELLE_BENCH_CALCULATE
#include "engine/ProgramState.h"
#include "tests/support/FakeHost.h"
#include "commands/Commands.h"
#endif

namespace {

using ravelle::SynthesisInput;

// One proton of 1.5 G at the start-up values: two lines, and most of the
// grid so far from both that only the signs of the tails are left to get.
SynthesisInput startUp()
{
    SynthesisInput input;
    input.displayRange = 30.0;
    input.sigma = 0.1;
    input.points = 500;
    input.couplingH = {1.5};
    return input;
}

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

// 15 distinct, unevenly spaced proton constants with ten decimals: 32,768
// lines, no two on the same position.
SynthesisInput h15()
{
    SynthesisInput input;
    input.displayRange = 60.0;
    input.sigma = 0.05;
    input.points = 500;
    input.couplingH = {0.3137593417, 0.7718243615, 1.1342718904, 1.5861492733, 1.9437021648,
                       2.4128873109, 2.8703319457, 3.2261188342, 3.6949416271, 4.0518839736,
                       4.5190462853, 4.9346103928, 5.3684271139, 5.7139558206, 6.0972635418};
    return input;
}

// The largest case: those protons and six distinct nitrogens, 23,887,872 lines.
SynthesisInput h15n6(int points = 500)
{
    SynthesisInput input = h15();
    input.displayRange = 120.0;
    input.sigma = 0.1;
    input.points = points;
    input.couplingN = {0.7061943215, 1.4327718846, 2.2130548827, 3.0482299617, 3.8719062434, 4.8935470152};
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

void BM_startUp(benchmark::State& state) { runSynthesis(state, startUp()); }
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
    std::map<std::string, std::string> boxes{{"G", "120"}, {"Sigma", "0.1"}, {"NoPnts", "500"}};
    const SynthesisInput input = h15n6();
    char text[32];
    for (std::size_t k = 0; k < input.couplingH.size(); ++k) {
        std::snprintf(text, sizeof text, "%.10f", input.couplingH[k]);
        boxes[std::string("H").append(std::to_string(k + 1))] = text;
    }
    for (std::size_t k = 0; k < input.couplingN.size(); ++k) {
        std::snprintf(text, sizeof text, "%.10f", input.couplingN[k]);
        boxes[std::string("N").append(std::to_string(k + 1))] = text;
    }
    host.setBoxes(boxes);
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
BENCHMARK(BM_startUp)->Name("start_up")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_naphthalene)->Name("naphthalene")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_h15)->Name("h15")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_h15n6)->Name("h15n6")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_h15n6_5000)->Name("h15n6_5000")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_wide)->Name("wide")->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_literal_naphthalene)->Name("literal/naphthalene")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_literal_h15)->Name("literal/h15")->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
