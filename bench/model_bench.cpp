// The general model on the spectra that set its speed goals.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/model/Evaluation.h"
#include "engine/model/Model.h"
#include "engine/model/ModelSynthesis.h"

namespace {

using namespace ravelle::model;

// A nitrogen-rich aromatic radical as the main window enters it: 15 proton and
// 6 nitrogen boxes, equivalent nuclei typed with equal constants (three pairs
// of nitrogens; protons in sets of 6, 6 and 3). The pattern spans about 33 G.
const std::vector<double> kH = {1.1, 1.1, 1.1, 1.1, 1.1, 1.1, 0.6, 0.6, 0.6, 0.6, 0.6, 0.6, 0.3, 0.3, 0.3};
const std::vector<double> kN = {2.9, 2.9, 2.1, 2.1, 0.5, 0.5};
// The same number of boxes, every constant different: nothing merges.
const std::vector<double> kDistinctH = {0.3137593417, 0.7718243615, 1.1342718904, 1.5861492733, 1.9437021648,
                                        0.4128873109, 0.8703319457, 1.2261188342, 0.6949416271, 0.0518839736,
                                        0.5190462853, 0.9346103928, 0.3684271139, 0.7139558206, 1.0972635418};
const std::vector<double> kDistinctN = {0.7061943215, 1.4327718846, 2.2130548827, 1.0482299617, 1.8719062434,
                                        0.4935470152};

Species radical(LineShape shape, double sigma, double gamma, const std::vector<double>& h = kH,
                const std::vector<double>& n = kN)
{
    Species settings;
    settings.shape = shape;
    settings.sigma = sigma;
    settings.gamma = gamma;
    return speciesFromBoxes(h, n, settings);
}

void run(benchmark::State& state, const Model& model, double range, int points)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(synthesizeModel(model, range, points));
}

void voigt_h15n6(benchmark::State& state)
{
    run(state, Model{{radical(LineShape::Voigt, 0.06, 0.04)}}, 36.0, 500);
}
BENCHMARK(voigt_h15n6)->Unit(benchmark::kMillisecond);

void lorentz_h15n6(benchmark::State& state)
{
    run(state, Model{{radical(LineShape::Lorentzian, 0.0, 0.08)}}, 36.0, 500);
}
BENCHMARK(lorentz_h15n6)->Unit(benchmark::kMillisecond);

void voigt_h15n6_5000(benchmark::State& state)
{
    run(state, Model{{radical(LineShape::Voigt, 0.06, 0.04)}}, 36.0, 5000);
}
BENCHMARK(voigt_h15n6_5000)->Unit(benchmark::kMillisecond);

void voigt_h15n6_distinct(benchmark::State& state)
{
    run(state, Model{{radical(LineShape::Voigt, 0.06, 0.04, kDistinctH, kDistinctN)}}, 44.0, 500);
}
BENCHMARK(voigt_h15n6_distinct)->Unit(benchmark::kMillisecond);

void species3_h15n6_c13(benchmark::State& state)
{
    Model model;
    const double shifts[] = {-1.5, 0.0, 2.0};
    const LineShape shapes[] = {LineShape::Voigt, LineShape::Lorentzian, LineShape::Gaussian};
    for (int s = 0; s < 3; ++s) {
        Species settings;
        settings.shape = shapes[s];
        settings.sigma = 0.07;
        settings.gamma = 0.05;
        settings.shift = shifts[s];
        settings.weight = 1.0 + s;
        settings.groups = {NucleusGroup{"13C", 6, 3.4 + s, true}};
        model.species.push_back(speciesFromBoxes(kH, kN, settings));
    }
    run(state, model, 44.0, 500);
}
BENCHMARK(species3_h15n6_c13)->Unit(benchmark::kMillisecond);

void f30_h15n6(benchmark::State& state)
{
    Species settings;
    settings.shape = LineShape::Voigt;
    settings.sigma = 0.06;
    settings.gamma = 0.04;
    settings.groups = {NucleusGroup{"19F", 30, 1.3, false}};
    run(state, Model{{speciesFromBoxes(kH, kN, settings)}}, 76.0, 500);
}
BENCHMARK(f30_h15n6)->Unit(benchmark::kMillisecond);

// TEMPO-like: one nitrogen of 15.6 G whose m_I sets the widths, twelve methyl
// protons of 0.22 G unresolved under them.
void mi_width_nitroxide(benchmark::State& state)
{
    Species nitroxide;
    nitroxide.groups = {NucleusGroup{"14N", 1, 15.6, false}, NucleusGroup{"1H", 12, 0.22, false}};
    nitroxide.shape = LineShape::Voigt;
    nitroxide.sigma = 0.35;
    nitroxide.gamma = 0.25;
    nitroxide.widthGroup = 0;
    nitroxide.sigmaLaw = {0.02, 0.05};
    nitroxide.gammaLaw = {0.03, 0.12};
    run(state, Model{{nitroxide}}, 40.0, 500);
}
BENCHMARK(mi_width_nitroxide)->Unit(benchmark::kMillisecond);

// One step of a fit: F and ten derivatives on 8192 measured points; a fit
// makes about a hundred of these.
void fit_step_h15n6_8192(benchmark::State& state)
{
    Model model{{radical(LineShape::Voigt, 0.06, 0.04, kDistinctH, kDistinctN)}};
    std::vector<Quantity> quantities = {{QuantityKind::Field}, {QuantityKind::Sigma, 0}, {QuantityKind::Gamma, 0},
                                        {QuantityKind::Weight, 0}, {QuantityKind::Shift, 0}};
    for (int g = 0; g < 5; ++g)
        quantities.push_back({QuantityKind::Coupling, 0, 3 * g});
    const UniformGrid grid{-22.0, 44.0 / 8191, 8192};
    for (auto _ : state)
        benchmark::DoNotOptimize(evaluateModel(model, grid, quantities));
}
BENCHMARK(fit_step_h15n6_8192)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
