#pragma once

#include <cstdint>

#include "engine/Synthesis.h"
#include "engine/model/Model.h"

namespace ravelle::model {

// The simulated spectrum of a general model on the display grid
// x_i = (G / N) i - G / 2, i = 0 ... N (descending for a negative G), scaled
// so that its largest value minus its smallest is 2, like the program's own
// synthesis, and refused where that one refuses: a point count below 0 or
// above kMaxCalcPoints, 0 points (division by zero), a flat sum (invalid
// operation, also when the sum is no higher than its error bound). Accurate
// to 1e-9 of the peak-to-peak height. Throws UserError.
SimulatedSpectrum synthesizeModel(const Model& model, double displayRange, std::int32_t points);

} // namespace ravelle::model
