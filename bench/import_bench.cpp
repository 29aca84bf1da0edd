// The observed-spectrum import of large files: one million and ten million
// lines in the layout of a measured spectrum ("3322.50 436.3"), read,
// converted and normalised. peak_rss_MB is the process's peak resident size
// after the run, the file's own page cache aside.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "io/ObservedImport.h"

namespace {

std::string spectrumFile(long lines)
{
    const std::string name = std::filesystem::temp_directory_path().string() + "/ravelle-import-bench-"
        + std::to_string(::getpid()) + "-" + std::to_string(lines) + ".dat";
    if (std::filesystem::exists(name))
        return name;
    std::FILE* file = std::fopen(name.c_str(), "w");
    for (long i = 0; i < lines; ++i) {
        const double field = 3300.0 + 100.0 * static_cast<double>(i) / static_cast<double>(lines);
        const double intensity = 1000.0 * std::sin(static_cast<double>(i) * 0.001);
        std::fprintf(file, "%.4f %.1f\r\n", field, intensity);
    }
    std::fclose(file);
    return name;
}

double peakResidentMegabytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ImportObservedFile(benchmark::State& state)
{
    const long lines = state.range(0);
    const std::string name = spectrumFile(lines);
    for (auto _ : state)
        benchmark::DoNotOptimize(ravelle::importObservedSpectrum(name, '.'));
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(name)) / 1e6;
    state.counters["peak_rss_MB"] = peakResidentMegabytes();
    std::filesystem::remove(name);
}
BENCHMARK(BM_ImportObservedFile)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
