// The spectrometer-file readers on large files, through the entry point as
// the import will call it (recognition, partner files, reading):
// bes3t_1m: a BES3T dataset of 1,000,000 big-endian 64-bit floats (8 MB);
// winepr_1m: a WinEPR .par/.spc of 1,000,000 floats (4 MB);
// table_1m: a tab-separated table with a header and 1,000,000 rows (about 30 MB).
// The *_import cases run the whole import command on them as the window runs
// it (the file read, normalised, the boxes written and the plot drawn), on the
// tests' host where the tests are built.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "io/formats/SpectrumFile.h"

#ifdef RAVELLE_BENCH_IMPORT_COMMAND
#include "commands/Commands.h"
#include "engine/ProgramState.h"
#include "tests/support/FakeHost.h"
#endif

namespace {

constexpr long kPoints = 1'000'000;

std::string scratchName(const std::string& name)
{
    return std::filesystem::temp_directory_path().string() + "/ravelle-formats-bench-" + std::to_string(::getpid())
        + "-" + name;
}

void write(const std::string& name, const std::string& bytes)
{
    std::FILE* file = std::fopen(name.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

double value(long i)
{
    return 1000.0 * std::sin(static_cast<double>(i) * 0.001);
}

std::string bes3tDataset()
{
    const std::string descriptor = scratchName("bes3t.DSC");
    write(descriptor, "#DESC\t1.2 * DESCRIPTOR INFORMATION\nBSEQ\tBIG\nIKKF\tREAL\nXTYP\tIDX\nYTYP\tNODATA\nIRFMT\tD\nXPTS\t"
                          + std::to_string(kPoints) + "\nXMIN\t3300.0\nXWID\t100.0\nXUNI\t'G'\n#SPL\nMWFQ\t9.5e9\n");
    std::string data;
    data.reserve(kPoints * 8);
    for (long i = 0; i < kPoints; ++i) {
        const auto bits = std::bit_cast<std::uint64_t>(value(i));
        for (int shift = 56; shift >= 0; shift -= 8)
            data.push_back(static_cast<char>(bits >> shift));
    }
    write(scratchName("bes3t.DTA"), data);
    return descriptor;
}

std::string winEprDataset()
{
    const std::string parameters = scratchName("winepr.par");
    write(parameters, "DOS  Format\r\nANZ " + std::to_string(kPoints) + "\r\nGST 3300.0\r\nGSI 100.0\r\nMF 9.5\r\n");
    std::string data;
    data.reserve(kPoints * 4);
    for (long i = 0; i < kPoints; ++i) {
        const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value(i)));
        for (int shift = 0; shift < 32; shift += 8)
            data.push_back(static_cast<char>(bits >> shift));
    }
    write(scratchName("winepr.spc"), data);
    return parameters;
}

std::string table()
{
    const std::string name = scratchName("table.txt");
    std::string text = "Sample\tbench\r\nField [G]\tIntensity\tSweep 1\r\n";
    char row[96];
    for (long i = 0; i < kPoints; ++i) {
        std::snprintf(row, sizeof row, "%.6f\t%.6f\t%.6f\r\n", 3300.0 + 100.0 * static_cast<double>(i) / kPoints, value(i), -value(i));
        text += row;
    }
    write(name, text);
    return name;
}

void readFile(benchmark::State& state, const std::string& name)
{
    for (auto _ : state) {
        auto spectrum = ravelle::formats::readSpectrumFile(name);
        if (!spectrum || spectrum->field.size() != kPoints)
            state.SkipWithError("not read");
        benchmark::DoNotOptimize(spectrum);
    }
    state.counters["points/s"] = benchmark::Counter(static_cast<double>(kPoints), benchmark::Counter::kIsIterationInvariantRate);
}

#ifdef RAVELLE_BENCH_IMPORT_COMMAND
void importFile(benchmark::State& state, const std::string& name)
{
    ravelle::ProgramState program;
    ravelle::Initialise(program, std::filesystem::temp_directory_path().string());
    ravelle::testing::FakeHost host(program);
    for (auto _ : state) {
        host.openAnswers.push_back(name);
        ravelle::importCommand(program, host);
    }
    if (!host.errors.empty() || program.ObsCount != kPoints)
        state.SkipWithError("not imported");
    state.counters["points/s"] = benchmark::Counter(static_cast<double>(kPoints), benchmark::Counter::kIsIterationInvariantRate);
}
#endif

void removeAll()
{
    for (const char* name : {"bes3t.DSC", "bes3t.DTA", "winepr.par", "winepr.spc", "table.txt"})
        std::filesystem::remove(scratchName(name));
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const std::string bes3t = bes3tDataset();
    const std::string winEpr = winEprDataset();
    const std::string text = table();
    benchmark::RegisterBenchmark("bes3t_1m", readFile, bes3t)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("winepr_1m", readFile, winEpr)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("table_1m", readFile, text)->Unit(benchmark::kMillisecond);
#ifdef RAVELLE_BENCH_IMPORT_COMMAND
    benchmark::RegisterBenchmark("bes3t_1m_import", importFile, bes3t)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("winepr_1m_import", importFile, winEpr)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("table_1m_import", importFile, text)->Unit(benchmark::kMillisecond);
#endif
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    removeAll();
    return 0;
}
