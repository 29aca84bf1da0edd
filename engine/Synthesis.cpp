#include "engine/Synthesis.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <utility>

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

// The line shape for one sigma, with the checks that name a failure.
struct LineShape : GaussianShape {
    using GaussianShape::GaussianShape;

    // One term in its fixed order of operations, each failure reported as
    // soon as it happens.
    double checkedTerm(double x, double x0) const
    {
        const auto checked = [](long double value) {
            value = floatingPointBarrier(value);
            throwOnFloatingPointError();
            return value;
        };
        const long double difference = checked(static_cast<long double>(x) - x0);
        long double exponent = checked(-difference * difference);
        exponent = checked(exponent / 2);
        exponent = checked(exponent / sigma);
        exponent = checked(exponent / sigma);
        long double value = checked(std::exp(exponent));
        value = checked(value * (static_cast<long double>(x0) - x));
        value = checked(value / normalisation);
        value = checked(value / sigma);
        value = checked(value / sigma);
        return storeDouble(value);
    }

    // The raw sum at one grid point, lines in list order, each sum stored as
    // a double. No flag is tested here: the caller tests once per point.
    double sum(double x, const std::vector<double>& lines) const
    {
        double total = 0.0;
        for (const double x0 : lines)
            total = static_cast<double>(static_cast<long double>(static_cast<double>(term(x, x0))) + total);
        return total;
    }

    // The same sum, checked after every operation, to name the first failure.
    double checkedSum(double x, const std::vector<double>& lines) const
    {
        clearFloatingPointErrors();
        x = floatingPointBarrier(x);
        double total = 0.0;
        for (const double x0 : lines)
            total = storeDouble(static_cast<long double>(checkedTerm(x, x0)) + total);
        return total;
    }
};

SimulatedSpectrum synthesizeChecked(const SynthesisInput& input)
{
    if (input.points < kMinCalcPoints || input.points > kMaxCalcPoints)
        throw UserError(std::string(messages::kPointCountOutOfRange));
    if (input.couplingH.size() > kMaxHydrogens || input.couplingN.size() > kMaxNitrogens)
        throw UserError(std::string(messages::kTooManyCouplings));
    // Every value stored by the program is finite; one that is not would pass
    // through the arithmetic below without raising a flag.
    const auto finite = [](double value) { return std::isfinite(value); };
    if (!finite(input.displayRange) || !finite(input.sigma)
        || !std::all_of(input.couplingH.begin(), input.couplingH.end(), finite)
        || !std::all_of(input.couplingN.begin(), input.couplingN.end(), finite))
        throw UserError(std::string(messages::kInvalidOperation));

    clearFloatingPointErrors();
    // Nothing computed from the inputs may be moved before the clearing.
    const double range = floatingPointBarrier(input.displayRange);
    const std::int32_t points = floatingPointBarrier(input.points);
    const LineShape shape(floatingPointBarrier(input.sigma));

    const std::vector<double> lines = buildLineList(input.couplingH, input.couplingN);

    SimulatedSpectrum spectrum;
    spectrum.points = points;
    spectrum.frameFieldLow = storeDouble(-static_cast<long double>(range) / 2);
    spectrum.frameFieldHigh = storeDouble(static_cast<long double>(range) / 2);

    // Room for the entries the published arrays carry beyond the points.
    const auto count = static_cast<std::size_t>(points) + 1;
    spectrum.field.reserve(count + 9);
    spectrum.intensity.reserve(count + 9);
    spectrum.field.resize(count);
    spectrum.intensity.resize(count);

    // The grid step: 0 points divide by zero here, before any line is summed.
    const long double step = floatingPointBarrier(static_cast<long double>(range) / points);
    throwOnFloatingPointError();
    for (std::size_t i = 0; i < count; ++i)
        spectrum.field[i] = storeDouble(step * static_cast<long double>(i) + spectrum.frameFieldLow);

    for (std::size_t i = 0; i < count; ++i) {
        const double x = floatingPointBarrier(spectrum.field[i]);
        double total = floatingPointBarrier(shape.sum(x, lines));
        if (floatingPointErrorPending())
            total = shape.checkedSum(x, lines); // throws the first failure at this point
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
        throw UserError(std::string(messages::kTooManyCouplings));
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
        throw UserError(std::string(messages::kNoMemoryForSimulation));
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
