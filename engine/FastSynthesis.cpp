#include "engine/FastSynthesis.h"

namespace ravelle {

std::optional<SimulatedSpectrum> synthesizeFast(const SynthesisInput&)
{
    return std::nullopt;
}

} // namespace ravelle
