#include "engine/SynthesisInput.h"

#include <algorithm>
#include <cmath>

#include "engine/FloatingPoint.h"
#include "engine/Messages.h"

namespace ravelle {

void refuseUnusableInput(const SynthesisInput& input)
{
    if (input.points < kMinCalcPoints || input.points > kMaxCalcPoints)
        failWith(messages::kPointCountOutOfRange);
    if (input.couplingH.size() > kMaxHydrogens || input.couplingN.size() > kMaxNitrogens)
        failWith(messages::kTooManyCouplings);
    const auto finite = [](double value) { return std::isfinite(value); };
    if (!finite(input.displayRange) || !finite(input.sigma)
        || !std::all_of(input.couplingH.begin(), input.couplingH.end(), finite)
        || !std::all_of(input.couplingN.begin(), input.couplingN.end(), finite))
        failWith(messages::kInvalidOperation);
}

} // namespace ravelle
