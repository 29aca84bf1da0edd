#pragma once

#include <optional>

#include "engine/Synthesis.h"

namespace ravelle {

// The same spectrum as synthesizeLiteral, to rounding, without listing every
// line at every point. Returns nothing where it cannot promise the literal
// outcome (the caller then runs the literal method); throws the same
// UserError the literal method would.
std::optional<SimulatedSpectrum> synthesizeFast(const SynthesisInput& input);

} // namespace ravelle
