// The literal synthesis at the default 500 intervals: every line at every
// point, 2^nH lines for nH distinct hydrogen constants.
#include <benchmark/benchmark.h>

#include "engine/Synthesis.h"

namespace {

ravelle::SynthesisInput hydrogenInput(int hydrogens, double sigma)
{
    ravelle::SynthesisInput input;
    input.displayRange = 30.0;
    input.sigma = sigma;
    input.points = 500;
    // Distinct constants from 0.3 to 4.36 G: with 15 the stick spectrum
    // spans about 35 G, a little wider than the grid.
    for (int k = 0; k < hydrogens; ++k)
        input.couplingH.push_back(0.3 + 0.29 * k);
    return input;
}

// Sigma 0.1 G: most terms lie far enough from their line to underflow.
void BM_LiteralSynthesis(benchmark::State& state)
{
    const auto input = hydrogenInput(static_cast<int>(state.range(0)), 0.1);
    for (auto _ : state)
        benchmark::DoNotOptimize(ravelle::synthesizeLiteral(input));
    state.counters["lines"] = static_cast<double>(1 << state.range(0));
    state.counters["terms/s"] = benchmark::Counter(static_cast<double>(501L << state.range(0)),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LiteralSynthesis)->Arg(8)->Arg(12)->Arg(15)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Sigma 20 G: every term is evaluated in full.
void BM_LiteralSynthesisBroadLines(benchmark::State& state)
{
    const auto input = hydrogenInput(static_cast<int>(state.range(0)), 20.0);
    for (auto _ : state)
        benchmark::DoNotOptimize(ravelle::synthesizeLiteral(input));
    state.counters["terms/s"] = benchmark::Counter(static_cast<double>(501L << state.range(0)),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LiteralSynthesisBroadLines)->Arg(8)->Arg(12)->Arg(15)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
