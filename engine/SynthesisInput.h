#pragma once

#include <cstdint>
#include <vector>

#include "engine/SynthesisLimits.h"

namespace ravelle {

// What a synthesis reads.
struct SynthesisInput {
    double displayRange = 0.0;   // G
    double sigma = 0.0;          // s
    std::int32_t points = 0;     // N, grid intervals
    std::vector<double> couplingH; // a1 .. anH
    std::vector<double> couplingN; // b1 .. bnN
};

// Refuses, before anything is allocated, what no synthesis can take: a point
// count outside kMinCalcPoints .. kMaxCalcPoints, more constants than the
// limits, or a value that is not finite (every value the program stores is
// finite; one that is not would pass through the arithmetic without raising
// a flag). Throws UserError.
void refuseUnusableInput(const SynthesisInput& input);

} // namespace ravelle
