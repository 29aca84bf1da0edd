// A series fit as ravelle2-cli fit runs it: 1,000 noisy synthetic aminoxyl
// spectra (one nitrogen of 17 G, Voigt lines, 1,500 points each, a baseline
// offset and 2 % noise), written as two-column files to a temporary
// folder, each imported and fitted from one parameter set, with one and with
// two threads. The goal: at most 30 s for the series on a 2-core machine,
// and less with two threads than with one.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cli/Series.h"
#include "cli/Tables.h"
#include "commands/ParameterSet.h"
#include "engine/Boxes.h"
#include "engine/model/Evaluation.h"
#include "engine/model/Model.h"

namespace {

using namespace ravelle;

constexpr int kSpectra = 1000;
constexpr int kPoints = 1500;

// The files, made once and removed when the benchmark ends.
class SeriesFolder {
public:
    SeriesFolder() : path_(std::filesystem::temp_directory_path() / ("ravelle2_series_" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(path_);
        std::mt19937_64 random(20261208);
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        for (int k = 0; k < kSpectra; ++k) {
            // The radical a little off the sweep's middle, its constants
            // and widths scattered as between samples.
            model::Species aminoxyl = model::speciesFromBoxes({}, {17.0 + 0.3 * unit(random)});
            aminoxyl.shape = model::LineShape::Voigt;
            aminoxyl.sigma = 0.35 + 0.05 * unit(random);
            aminoxyl.gamma = 0.25 + 0.05 * unit(random);
            const double centre = 3360.0 + 0.5 * unit(random);
            std::vector<double> field(kPoints);
            std::vector<double> offsets(kPoints);
            for (int i = 0; i < kPoints; ++i) {
                field[static_cast<std::size_t>(i)] = 3336.0 + 48.0 * i / (kPoints - 1);
                offsets[static_cast<std::size_t>(i)] = field[static_cast<std::size_t>(i)] - centre;
            }
            const model::ModelValues clean = model::evaluateModelAt(model::Model{{aminoxyl}}, offsets);
            const auto [low, high] = std::minmax_element(clean.value.begin(), clean.value.end());
            std::normal_distribution<double> noise(0.0, 0.02);
            std::vector<double> intensity(kPoints);
            for (std::size_t i = 0; i < intensity.size(); ++i)
                intensity[i] = clean.value[i] / (*high - *low) + 0.2 + noise(random);
            const auto name = path_ / ("aminoxyl_" + std::to_string(k) + ".dat");
            cli::writeWholeFile(name.string(), cli::twoColumnText(field, intensity));
            files_.push_back(name.string());
        }
    }
    ~SeriesFolder() { std::filesystem::remove_all(path_); }

    const std::vector<std::string>& files() const { return files_; }

private:
    std::filesystem::path path_;
    std::vector<std::string> files_;
};

const SeriesFolder& seriesFolder()
{
    static const SeriesFolder folder;
    return folder;
}

// Starts a little off: N1 16.5 G, Voigt with Sigma 0.5 G and Gamma 0.2 G;
// the centre and range come from each file as the import sets them.
ParameterSet startingSet()
{
    ParameterSet set;
    for (const auto& box : kBoxes)
        set.boxes[std::string(box.name)] = std::string(box.initialText);
    set.boxes["Scl"] = "1.0000";
    set.boxes["N1"] = "16.5";
    set.boxes["Sigma"] = "0.5";
    set.model.shape = model::LineShape::Voigt;
    set.model.gamma = "0.2";
    return set;
}

void series_1000(benchmark::State& state)
{
    cli::SeriesRequest request;
    request.settings.start = startingSet();
    request.settings.vary = {"N1", "Sigma", "Gamma", "GCntr", "Scl", "Baseline offset"};
    request.files = seriesFolder().files();
    request.jobs = static_cast<unsigned>(state.range(0));
    std::size_t failed = 0;
    double n1 = 0.0;
    for (auto _ : state) {
        const std::vector<cli::FileFit> fits = cli::fitSeries(request);
        failed = static_cast<std::size_t>(
            std::count_if(fits.begin(), fits.end(), [](const cli::FileFit& fit) { return !fit.ok; }));
        n1 = fits.front().ok ? std::stod(fits.front().values.front().value) : 0.0;
    }
    state.counters["files"] = static_cast<double>(request.files.size());
    state.counters["failed"] = static_cast<double>(failed);
    state.counters["first_N1"] = n1;
}
BENCHMARK(series_1000)->ArgName("jobs")->Arg(1)->Arg(2)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
