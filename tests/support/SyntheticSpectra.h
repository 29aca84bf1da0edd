#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/fit/Fit.h"
#include "engine/Synthesis.h"
#include "io/ObservedImport.h"

namespace ravelle::testing {

// Synthetic measurements: made by the program's own synthesis from known
// constants on a field grid of their own, with a baseline offset and noise,
// then normalised exactly as the import normalises a file.

struct Truth {
    std::vector<double> hydrogen; // one entry per nucleus, equivalent ones equal
    std::vector<double> nitrogen;
    double sigma = 0.1;
    double centre = 3350.0;
};

struct Measurement {
    std::vector<double> field;
    std::vector<double> intensity;
};

inline Truth radical(std::vector<double> hydrogen, std::vector<double> nitrogen, double sigma, double centre = 3350.0)
{
    return {std::move(hydrogen), std::move(nitrogen), sigma, centre};
}

inline double spreadOf(const Truth& truth)
{
    double spread = 0.0;
    for (const double a : truth.hydrogen)
        spread += std::abs(a) / 2;
    for (const double b : truth.nitrogen)
        spread += std::abs(b);
    return spread;
}

// A sweep from lowEnd to highEnd with the given spacing; the noise and the
// baseline are shares of the peak-to-peak height.
inline Measurement measure(const Truth& truth, double spacing, double lowEnd, double highEnd, double noiseShare,
                    double baselineShare, std::mt19937_64& random)
{
    // A grid symmetric about the radical, wide enough for the sweep.
    const double half = std::max(truth.centre - lowEnd, highEnd - truth.centre) + spacing;
    const auto intervals = static_cast<std::int32_t>(2 * std::ceil(half / spacing));
    SynthesisInput input;
    input.displayRange = intervals * spacing;
    input.points = intervals;
    input.sigma = truth.sigma;
    input.couplingH = truth.hydrogen;
    input.couplingN = truth.nitrogen;
    const SimulatedSpectrum clean = synthesize(input);

    constexpr double kPeakToPeak = 7000.0; // detector counts
    std::normal_distribution<double> noise(0.0, noiseShare * kPeakToPeak);
    ObservedSpectrum file;
    file.field.push_back(0.0);
    file.intensity.push_back(0.0);
    for (std::size_t i = 0; i < clean.field.size(); ++i) {
        const double field = truth.centre + clean.field[i];
        if (field < lowEnd || field > highEnd)
            continue;
        file.field.push_back(field);
        file.intensity.push_back(clean.intensity[i] * kPeakToPeak / 2 + baselineShare * kPeakToPeak + noise(random));
    }
    file.count = static_cast<std::int32_t>(file.field.size()) - 1;
    file.field.resize(file.field.size() + 9, 0.0);
    file.intensity.resize(file.intensity.size() + 9, 0.0);
    normaliseObservedSpectrum(file);
    Measurement measurement;
    measurement.field.assign(file.field.begin() + 1, file.field.begin() + 1 + file.count);
    measurement.intensity.assign(file.intensity.begin() + 1, file.intensity.begin() + 1 + file.count);
    return measurement;
}

inline std::string numbered(const char* kind, std::size_t k)
{
    std::string box = kind;
    box += std::to_string(k);
    return box;
}

// The problem Fit sets up from boxes holding these values and the Model
// window at its start: the observed points inside centre -/+ range/2, every
// parameter varied but the baseline's slope.
inline FitProblem problemFor(const Measurement& measurement, const std::vector<double>& hydrogen,
                      const std::vector<double>& nitrogen, double sigma, double centre, double range, int points,
                      double scale = 1.0)
{
    FitProblem problem;
    problem.displayRange = range;
    problem.points = points;
    problem.frameLow = centre - range / 2;
    problem.frameHigh = centre + range / 2;
    const double low = std::min(problem.frameLow, problem.frameHigh);
    const double high = std::max(problem.frameLow, problem.frameHigh);
    for (std::size_t i = 0; i < measurement.field.size(); ++i) {
        if (measurement.field[i] >= low && measurement.field[i] <= high) {
            problem.field.push_back(measurement.field[i]);
            problem.intensity.push_back(measurement.intensity[i]);
        }
    }
    for (std::size_t k = 0; k < hydrogen.size(); ++k)
        problem.parameters.push_back({FitParameterKind::Hydrogen, numbered("H", k + 1), hydrogen[k], true});
    for (std::size_t k = 0; k < nitrogen.size(); ++k)
        problem.parameters.push_back({FitParameterKind::Nitrogen, numbered("N", k + 1), nitrogen[k], true});
    problem.parameters.push_back({FitParameterKind::Sigma, "Sigma", sigma, true});
    problem.parameters.push_back({FitParameterKind::Centre, "GCntr", centre, true});
    problem.parameters.push_back({FitParameterKind::Scale, "Scl", scale, true});
    problem.parameters.push_back({FitParameterKind::Offset, "Baseline offset", 0.0, true});
    problem.parameters.push_back({FitParameterKind::Slope, "Baseline slope", 0.0, false});
    return problem;
}

// Constants of one kind drawn as equivalent sets: sizes 1 to 3, values at
// least 0.4 G apart so that different sets stay distinguishable.
inline std::vector<double> drawSets(int nuclei, double low, double high, std::mt19937_64& random)
{
    std::vector<double> constants;
    std::vector<double> used;
    std::uniform_real_distribution<double> value(low, high);
    std::uniform_int_distribution<int> size(1, 3);
    while (static_cast<int>(constants.size()) < nuclei) {
        const int members = std::min(size(random), nuclei - static_cast<int>(constants.size()));
        double a = value(random);
        while (std::any_of(used.begin(), used.end(), [&](double u) { return std::abs(u - a) < 0.4; }))
            a = value(random);
        used.push_back(a);
        constants.insert(constants.end(), static_cast<std::size_t>(members), a);
    }
    return constants;
}

// Each equivalent set starts from one value, off by up to `share`: a chemist
// enters equivalent nuclei with equal constants.
inline std::vector<double> startFrom(const std::vector<double>& truth, double share, std::mt19937_64& random)
{
    std::uniform_real_distribution<double> off(-share, share);
    std::vector<double> start;
    for (std::size_t k = 0; k < truth.size(); ++k) {
        if (k > 0 && truth[k] == truth[k - 1])
            start.push_back(start.back());
        else
            start.push_back(truth[k] * (1 + off(random)));
    }
    return start;
}

} // namespace ravelle::testing
