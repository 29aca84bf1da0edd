#include "engine/Synthesis.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <utility>

#include "engine/DisplayGrid.h"
#include "engine/FastSynthesis.h"
#include "engine/FloatingPoint.h"
#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {

namespace {

// Rounds an extended result to the double it is stored in; overflow ends
// the calculation.
inline double store(long double value)
{
    const double stored = static_cast<double>(value);
    if (!std::isfinite(stored))
        return storeDouble(value); // throws the overflow or invalid error
    return stored;
}

// The raw sum at one grid point, lines in list order, each sum stored as a
// double. No flag is tested here: the caller tests once per point.
double literalSum(const LineShape& shape, double x, const std::vector<double>& lines)
{
    double total = 0.0;
    for (const double x0 : lines)
        total = static_cast<double>(static_cast<long double>(static_cast<double>(shape.term(x, x0))) + total);
    return total;
}

// The same sum, checked after every operation, to name the first failure.
double checkedLiteralSum(const LineShape& shape, double x, const std::vector<double>& lines)
{
    clearFloatingPointErrors();
    x = floatingPointBarrier(x);
    double total = 0.0;
    for (const double x0 : lines)
        total = storeDouble(static_cast<long double>(shape.checkedTerm(x, x0)) + total);
    return total;
}

SimulatedSpectrum synthesizeChecked(const SynthesisInput& input)
{
    refuseUnusableInput(input);

    clearFloatingPointErrors();
    // Nothing computed from the inputs may be moved before the clearing.
    const double range = floatingPointBarrier(input.displayRange);
    const std::int32_t points = floatingPointBarrier(input.points);
    const LineShape shape(floatingPointBarrier(input.sigma));

    const std::vector<double> lines = buildLineList(input.couplingH, input.couplingN);

    // 0 points divide by zero here, before any line is summed.
    DisplayGrid grid = displayGrid(range, points);
    SimulatedSpectrum spectrum;
    spectrum.points = points;
    spectrum.frameFieldLow = grid.low;
    spectrum.frameFieldHigh = grid.high;
    spectrum.field = std::move(grid.field);
    // Room for the entries the published arrays carry beyond the points.
    const std::size_t count = spectrum.field.size();
    spectrum.intensity.reserve(count + 9);
    spectrum.intensity.resize(count);

    for (std::size_t i = 0; i < count; ++i) {
        const double x = floatingPointBarrier(spectrum.field[i]);
        double total = floatingPointBarrier(literalSum(shape, x, lines));
        if (floatingPointErrorPending())
            total = checkedLiteralSum(shape, x, lines); // throws the first failure at this point
        spectrum.intensity[i] = total;
    }

    const RawExtremes extremes = rawExtremes(spectrum.intensity);
    spectrum.rawLow = extremes.low;
    spectrum.rawHigh = extremes.high;

    // A flat sum makes the span 0: 0 / 0 (or x / 0) at the first point.
    const long double span = floatingPointBarrier(static_cast<long double>(extremes.high) - extremes.low);
    for (double& value : spectrum.intensity) {
        const long double scaled = floatingPointBarrier(2 * static_cast<long double>(value) / span);
        throwOnFloatingPointError();
        value = storeDouble(scaled);
    }
    return spectrum;
}

} // namespace

double GaussianDerivative(double x, double x0, double sigma)
{
    clearFloatingPointErrors();
    return LineShape(floatingPointBarrier(sigma)).checkedTerm(floatingPointBarrier(x), floatingPointBarrier(x0));
}

RawExtremes rawExtremes(const std::vector<double>& sums)
{
    RawExtremes extremes{sums[0], sums[0]};
    for (const double value : sums) {
        if (value > extremes.high)
            extremes.high = value;
        if (value < extremes.low)
            extremes.low = value;
    }
    return extremes;
}

std::int32_t IntegerPower(std::int32_t base, std::int32_t exponent)
{
    // Wraps around like the 32-bit multiplications it stands for; squaring
    // gives the same product without a loop of `exponent` steps.
    std::uint32_t result = 1;
    auto factor = static_cast<std::uint32_t>(base);
    for (auto remaining = exponent > 0 ? static_cast<std::uint32_t>(exponent) : 0u; remaining != 0;
         remaining >>= 1) {
        if (remaining & 1u)
            result *= factor;
        factor *= factor;
    }
    return static_cast<std::int32_t>(result);
}

SynthesisInput synthesisInput(const ProgramState& state)
{
    SynthesisInput input;
    input.displayRange = state.DisplayRange;
    input.sigma = state.SigmaValue;
    input.points = state.CalcPoints;
    const auto hydrogens = static_cast<std::size_t>(std::clamp(state.HCount, 0, static_cast<int>(kMaxHydrogens)));
    const auto nitrogens = static_cast<std::size_t>(std::clamp(state.NCount, 0, static_cast<int>(kMaxNitrogens)));
    input.couplingH.assign(state.CouplingH.begin() + 1, state.CouplingH.begin() + 1 + hydrogens);
    input.couplingN.assign(state.CouplingN.begin() + 1, state.CouplingN.begin() + 1 + nitrogens);
    return input;
}

std::vector<double> buildLineList(const std::vector<double>& couplingH, const std::vector<double>& couplingN)
{
    if (couplingH.size() > kMaxHydrogens || couplingN.size() > kMaxNitrogens)
        failWith(messages::kTooManyCouplings);
    const auto hydrogens = static_cast<std::int32_t>(couplingH.size());
    const auto nitrogens = static_cast<std::int32_t>(couplingN.size());
    const auto lineCount = static_cast<std::size_t>(IntegerPower(2, hydrogens) * IntegerPower(3, nitrogens));

    // Each stage reads the list and writes the work list, which then becomes
    // the list.
    std::vector<double> lines(lineCount);
    std::vector<double> work(lineCount);
    lines[0] = 0.0;
    for (std::int32_t k = 1; k <= hydrogens; ++k) {
        const auto m = static_cast<std::size_t>(IntegerPower(2, k - 1));
        const long double half = 0.5L * couplingH[static_cast<std::size_t>(k - 1)];
        for (std::size_t j = 0; j < m; ++j) {
            const long double line = lines[j];
            work[2 * j] = store(line - half);
            work[2 * j + 1] = store(line + half);
        }
        lines.swap(work);
    }
    for (std::int32_t k = 1; k <= nitrogens; ++k) {
        const auto m = static_cast<std::size_t>(IntegerPower(2, hydrogens) * IntegerPower(3, k - 1));
        const long double coupling = couplingN[static_cast<std::size_t>(k - 1)];
        for (std::size_t j = 0; j < m; ++j) {
            const long double line = lines[j];
            work[3 * j] = store(line - coupling);
            work[3 * j + 1] = lines[j];
            work[3 * j + 2] = store(line + coupling);
        }
        lines.swap(work);
    }
    return lines;
}

SimulatedSpectrum synthesizeLiteral(const SynthesisInput& input)
{
    try {
        return synthesizeChecked(input);
    } catch (const std::bad_alloc&) {
        failWith(messages::kNoMemoryForSimulation);
    }
}

SimulatedSpectrum synthesize(const SynthesisInput& input)
{
    if (auto fast = synthesizeFast(input))
        return std::move(*fast);
    return synthesizeLiteral(input);
}

void publishSpectrum(ProgramState& state, SimulatedSpectrum&& spectrum)
{
    const auto size = static_cast<std::size_t>(std::max(spectrum.points, -1)) + 10;
    std::vector<double> field = std::move(spectrum.field);
    std::vector<double> intensity = std::move(spectrum.intensity);
    field.resize(size, 0.0);
    intensity.resize(size, 0.0);
    // Nothing below can fail: the state changes completely or not at all.
    state.CalcField.swap(field);
    state.CalcIntensity.swap(intensity);
    state.CalcSpectrumPoints = spectrum.points;
    state.FrameFieldLow = spectrum.frameFieldLow;
    state.FrameFieldHigh = spectrum.frameFieldHigh;
    state.FrameIntLow = spectrum.rawLow;
    state.FrameIntHigh = spectrum.rawHigh;
}

void Synthesize(ProgramState& state)
{
    publishSpectrum(state, synthesize(synthesisInput(state)));
}

} // namespace ravelle
