#pragma once

#include <optional>

#include "engine/Synthesis.h"

namespace ravelle {

// The same spectrum as synthesizeLiteral, to rounding, without listing every
// line at every point; where a sum is too small for a method's error bound,
// far from the lines, it has the sign of the exact sum of the literal
// method's terms. Returns nothing where it cannot promise the literal
// outcome (the caller then runs the literal method); throws the same
// UserError the literal method would.
std::optional<SimulatedSpectrum> synthesizeFast(const SynthesisInput& input);

// How the raw sum at the grid points is formed.
enum class SummationMethod {
    Automatic,   // the cheapest that can vouch for its result (a request only)
    MergedLines, // lines on the same position merged; terms summed near each point
    Fourier,     // the whole stick spectrum through one inverse FFT
    FourierSeries, // its Fourier series summed at each point, for grids too fine for a transform
    ListOrder,   // every line in list order like the literal method, skipping far branches
};

struct FastSpectrum {
    SimulatedSpectrum spectrum;
    SummationMethod method = SummationMethod::Automatic;
};

// synthesizeFast, telling which method it used. Any method but Automatic is
// used as given, without the checks that replace a doubtful result by a more
// careful method (for tests and benchmarks).
std::optional<FastSpectrum> synthesizeFastWith(const SynthesisInput& input, SummationMethod method);

} // namespace ravelle
