#pragma once

#include <cstdint>
#include <vector>

namespace ravelle {

// The even grid of field offsets a spectrum is computed on: point i of N at
// (G / N) i - G / 2, from -G/2 at point 0 to +G/2 at point N (descending
// when G is negative).
struct DisplayGrid {
    long double step = 0.0L;   // G / N in extended precision
    double low = 0.0;          // -G/2, the field end at point 0
    double high = 0.0;         // +G/2, the field end at point N
    std::vector<double> field; // the N + 1 offsets
};

// The grid of `points` (N, 0 .. kMaxCalcPoints) intervals over `range` (G),
// each offset formed in extended precision and stored as a double. No
// intervals divide by zero: throws that error (invalid operation when G is 0
// too) before anything is allocated. The offsets keep room for the ten
// entries the program state's arrays carry beyond them.
DisplayGrid displayGrid(double range, std::int32_t points);

} // namespace ravelle
