#pragma once

#include <cstdint>
#include <vector>

#include "engine/LineShape.h"
#include "engine/ProgramState.h"
#include "engine/SynthesisInput.h"
#include "engine/SynthesisLimits.h"

// The simulated first-derivative spectrum: hyperfine stick spectrum of up to
// 15 hydrogens (spin 1/2) and 6 nitrogens (spin 1), a unit-area Gaussian
// derivative on every line, summed on an even grid around zero and scaled to a
// peak-to-peak height of 2.
namespace ravelle {

// The derivative with respect to x of a unit-area Gaussian of the given sigma
// centred at x0: (x0 - x) exp(-(x - x0)^2 / 2 / s / s) / sqrt(6.2831852 s s) / s / s,
// evaluated in extended precision in that order. Throws the floating-point
// errors (s = 0 divides by zero).
double GaussianDerivative(double x, double x0, double sigma);

// 1 multiplied by base, exponent times (no overflow check); exponent <= 0 gives 1.
std::int32_t IntegerPower(std::int32_t base, std::int32_t exponent);

// What a synthesis produces: N + 1 grid offsets and normalised intensities
// (each vector holds exactly N + 1 values), the field ends -G/2 and +G/2, and
// the raw extremes of the sum before the normalisation.
struct SimulatedSpectrum {
    std::int32_t points = 0;
    std::vector<double> field;
    std::vector<double> intensity;
    double frameFieldLow = 0.0;
    double frameFieldHigh = 0.0;
    double rawLow = 0.0;
    double rawHigh = 0.0;
};

// The smallest and the largest of the raw sums (at least one), each the first
// of its equals: the raw extremes a spectrum reports.
struct RawExtremes {
    double low = 0.0;
    double high = 0.0;
};
RawExtremes rawExtremes(const std::vector<double>& sums);

// The parameters of a state (DisplayRange, SigmaValue, CalcPoints, the first
// HCount/NCount couplings).
SynthesisInput synthesisInput(const ProgramState& state);

// The hyperfine stick spectrum: one position per combination of nuclear spin
// states, M = 2^nH 3^nN of them, ordered like a counter whose most significant
// digit is the first hydrogen (-a/2, +a/2) and whose least significant digit
// is the last nitrogen (-b, 0, +b). Coincident lines are not merged.
// Throws the overflow error when a position is beyond the double range.
std::vector<double> buildLineList(const std::vector<double>& couplingH, const std::vector<double>& couplingN);

// The literal method: every line listed (M = 2^nH 3^nN of them) and evaluated
// at every grid point. Slow for many nuclei; it is the reference the faster
// method is checked against. Throws UserError: a negative or too large point
// count is refused before any allocation; the floating-point errors end it as
// they arise (0 points: division by zero; sigma 0; a flat sum: invalid
// operation; overflow).
SimulatedSpectrum synthesizeLiteral(const SynthesisInput& input);

// The synthesis the program runs: the same outcome as synthesizeLiteral, by
// the fastest method that can promise it.
SimulatedSpectrum synthesize(const SynthesisInput& input);

// Makes a finished spectrum the program's simulated spectrum: CalcField and
// CalcIntensity sized N + 10 with the points in 0 .. N, CalcSpectrumPoints,
// FrameFieldLow/High and FrameIntLow/High (the raw extremes).
void publishSpectrum(ProgramState& state, SimulatedSpectrum&& spectrum);

// The synthesis stage of Calculate on a state: synthesize(synthesisInput(state))
// and publish it. On an error nothing of the state changes.
void Synthesize(ProgramState& state);

} // namespace ravelle
